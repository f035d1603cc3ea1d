// Where content types come from: the mime.types association, then the built-in
// table, then the shared-mime-info database.
#include <gtest/gtest.h>

#include <sstream>

#include "ScanFixture.h"
#include "compose/ContentType.h"
#include "compose/MimeTypeTable.h"

namespace {

const char kUserTypes[] = "/home/u/.mime.types";
const char kSystemTypes[] = "/etc/mime.types";
const char kUserGlobs[] = "/home/u/.local/share/mime/globs2";
const char kSystemGlobs[] = "/usr/share/mime/globs2";

struct Resolver : ::testing::Test {
    testutil::FixedEnvironment env;
    ContentTypePaths paths{{kUserTypes, kSystemTypes}, {kUserGlobs, kSystemGlobs}};

    std::string Type(const std::string& ext) {
        CContentTypeSources sources(env, paths);
        std::string t = "<none>";
        GetContentType(sources, ext, t);
        return t;
    }
};

TEST_F(Resolver, AssociationThenTableThenDatabase) {
    const std::string longType = "application/" + std::string(116, 'x');  // 128 characters
    const std::string fits = "application/" + std::string(115, 'x');      // 127
    struct Case {
        const char* name;
        std::string userTypes, systemTypes, userGlobs, systemGlobs;
        std::vector<std::pair<std::string, std::string>> types;  // extension -> type
    } cases[] = {
        {"association over table over database", "", "# comment gif\nimage/x-own-gif\tgif GIF\ntext/x-mine  mine\n", "",
         "50:image/x-db-gif:*.gif\n50:application/x-db:*.dbonly\n50:image/png:*.mine\n",
         {{"gif", "image/x-own-gif"}, {".mine", "text/x-mine"}, {"png", "image/png"}, {"dbonly", "application/x-db"},
          {"DBONLY", "application/x-db"}, {"nowhere", "<none>"}, {"", "<none>"}, {".", "<none>"}}},
        {"user file over system file, case ignored", "text/x-user CSS\n",
         "text/css css\napplication/x-first dup\napplication/x-second dup\n", "", "",
         {{".css", "text/x-user"}, {"Css", "text/x-user"}, {"dup", "application/x-first"}}},
        {"invalid or overlong types are no answer from their source", "",
         "image/gif;x gif\nnoslash png\n" + longType + " jpg\ntext/a/b txt\n" + fits + " fits\n", "",
         "50:bad type:*.onlydb\n50:" + longType + ":*.long\n",
         {{"gif", "image/gif"}, {"png", "image/png"}, {"jpg", "image/jpeg"}, {"txt", "text/plain"},
          {"onlydb", "<none>"}, {"long", "<none>"}, {"fits", fits}}},
        // Patterns other than "*.ext" are not extensions, an extension is what
        // follows the last dot, and case is ignored even where the database
        // says otherwise.
        {"database: highest weight, then the first file", "", "", "40:text/x-user-low:*.w\n60:text/x-user:*.tie\n",
         "# comment\n80:text/x-heavy:*.W\n60:text/x-system:*.tie\n50:text/x-glob:*.a?c\n"
         "50:text/x-full:*.tar.zz\n50:text/x-exact:README\n50:text/x-flags:*.fl:cs\nnot a line\n",
         {{"w", "text/x-heavy"}, {"tie", "text/x-user"}, {"abc", "<none>"}, {"zz", "<none>"}, {"readme", "<none>"},
          {"FL", "text/x-flags"}}},
    };
    for (const Case& c : cases) {
        env.files.clear();
        const std::pair<const char*, const std::string*> files[] = {
            {kUserTypes, &c.userTypes}, {kSystemTypes, &c.systemTypes}, {kUserGlobs, &c.userGlobs},
            {kSystemGlobs, &c.systemGlobs}};
        for (const auto& [path, text] : files)
            if (!text->empty()) env.files[path] = *text;
        for (const auto& [ext, type] : c.types) EXPECT_EQ(Type(ext), type) << c.name << ": '" << ext << "'";
    }
}

// The index must answer exactly as a walk over the rows from the top would,
// for every word of the table; letter case and a leading dot do not matter,
// and "pcf.z" is a word of the table but ".z" no extension of it.
TEST(BuiltInTable, IndexAgreesWithARowByRowSearch) {
    std::map<std::string, std::string> cases;
    for (const char* const* r = MimeTypeTable; *r; ++r) {
        std::istringstream in(*r);
        std::string type, w;
        in >> type;
        while (in >> w) cases.emplace(w, type);  // an earlier row keeps its word
    }
    // Words listed twice: the row order decides.
    const std::map<std::string, std::string> conflicts = {
        {"cpt", "image/x-corelphotopaint"}, {"wrl", "model/vrml"}, {"vrml", "model/vrml"}, {"rtf", "text/rtf"},
        {"csh", "text/x-csh"}, {"sh", "text/x-sh"}, {"tcl", "text/x-tcl"}, {"m3u", "audio/mpegurl"},
        {"ra", "audio/x-pn-realaudio"}, {"spl", "application/futuresplash"}, {"vrm", "x-world/x-vrml"},
        {"fbdoc", "application/x-maker"}};
    for (const auto& [ext, type] : conflicts) EXPECT_EQ(cases[ext], type) << ext;
    for (const char* ext : {"unknown", "", "x", ".z", "..gif"}) cases.emplace(ext, "<none>");
    for (const char* ext : {"GIF", ".gif", ".Gif"}) cases.emplace(ext, "image/gif");
    for (const auto& [ext, type] : cases) {
        std::string indexed = "<none>";
        EXPECT_EQ(FindBuiltInContentType(ext, indexed), type != "<none>") << ext;
        EXPECT_EQ(indexed, type) << ext;
    }
}

using ContentTypesInMessages = ScanFixture;

TEST_F(ContentTypesInMessages, EachSourceIsReadOncePerRun) {
    fixed.environment.vars = {{"HOME", "/home/u"}, {"XDG_DATA_DIRS", "/usr/share"}};
    fixed.environment.files[kSystemTypes] = "image/x-assoc png\n";
    fixed.environment.files[kSystemGlobs] = "50:application/x-db:*.dbx\n";
    for (const char* f : {"a.png", "b.png", "c.gif", "d.dbx", "e.none", "noext"}) File(f);
    Compose("<img src=a.png><img src=b.png><img src=c.gif><img src=d.dbx><img src=e.none><img src=noext>");
    ASSERT_EQ(c->Resources().size(), 6u);
    std::vector<std::string> types;
    for (const PlannedPart& p : c->Resources()) types.push_back(p.strContentType);
    EXPECT_EQ(types, (std::vector<std::string>{"image/x-assoc", "image/x-assoc", "image/gif", "application/x-db",
                                               "application/octet-stream", "application/octet-stream"}));
    for (const auto& [path, n] : fixed.environment.reads) EXPECT_EQ(n, 1) << path;
    EXPECT_EQ(fixed.environment.reads.size(), 4u);  // two mime.types, two globs2
}

} // namespace
