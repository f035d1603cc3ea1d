// The base folders every reader of them shares: relative entries never count.
#include <gtest/gtest.h>

#include <cstdlib>

#include "TestUtil.h"
#include "compose/ContentType.h"
#include "platform/SettingsFile.h"
#include "platform/XdgFolders.h"

namespace {

TEST(XdgFolders, RelativeOrEmptyEntriesFallBackToTheDefaults) {
    using Vars = std::map<std::string, std::string>;
    using List = std::vector<std::string>;
    struct Case {
        Vars vars;
        std::string configHome;
        List dataFolders;
    } cases[] = {
        {{{"HOME", "/h"}}, "/h/.config", {"/h/.local/share", "/usr/local/share", "/usr/share"}},
        {{{"HOME", "/h"}, {"XDG_CONFIG_HOME", "/c/"}, {"XDG_DATA_HOME", "/d"}, {"XDG_DATA_DIRS", "/a::rel:/b/"}},
         "/c",
         {"/d", "/a", "/b"}},
        {{{"HOME", "/h"}, {"XDG_CONFIG_HOME", "rel"}, {"XDG_DATA_HOME", "rel"}, {"XDG_DATA_DIRS", "rel:x"}},
         "/h/.config",
         {"/h/.local/share", "/usr/local/share", "/usr/share"}},
        {{{"HOME", "/h"}, {"XDG_CONFIG_HOME", ""}, {"XDG_DATA_HOME", ""}, {"XDG_DATA_DIRS", ""}},
         "/h/.config",
         {"/h/.local/share", "/usr/local/share", "/usr/share"}},
    };
    for (const Case& c : cases) {
        testutil::FixedEnvironment env;
        env.vars = c.vars;
        EXPECT_EQ(platform::XdgConfigHome(env), c.configHome);
        EXPECT_EQ(platform::XdgDataFolders(env), c.dataFolders);
    }
    // The readers build on them.
    testutil::FixedEnvironment env;
    env.vars = {{"HOME", "/h"}, {"XDG_DATA_DIRS", "/s"}};
    ContentTypePaths p = DefaultContentTypePaths(env);
    EXPECT_EQ(p.listAssociationFiles, (List{"/h/.mime.types", "/etc/mime.types"}));
    EXPECT_EQ(p.listGlobFiles, (List{"/h/.local/share/mime/globs2", "/s/mime/globs2"}));
    testutil::ScopedEnv xdg("XDG_CONFIG_HOME", "relative/conf");
    EXPECT_EQ(platform::SettingsFilePath(), std::string(std::getenv("HOME")) + ".config/quillory/quillory.conf");
}

} // namespace
