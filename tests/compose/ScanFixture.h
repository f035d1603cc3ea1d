#pragma once
// Composes a page in a fresh folder and gives the parts of the result to look at.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "compose/MimeComposer.h"

struct ScanFixture : ::testing::Test {
    testutil::TempDir dir;
    testutil::FixedPlatform fixed;
    std::unique_ptr<CMimeComposer> c;
    std::string eml;
    bool webmail = false;  // the job's "Prepare for webmail"

    std::string File(const std::string& name, const std::string& content = "data") { return dir.Write(name, content); }

    void Compose(const std::string& html) {
        fixed.random.rnd = 1;  // each run draws Content-IDs from the start again
        c = std::make_unique<CMimeComposer>(fixed.Get());
        c->m_job.m_strHtmlPath = dir.Write("page.html", html);
        c->m_job.m_strOutputPath = dir.Path() + "out.eml";
        c->m_job.m_bPrepareForWebmail = webmail;
        ASSERT_TRUE(c->Compose()) << c->GetLastError();
        eml = testutil::ReadFile(c->m_job.m_strOutputPath);
    }

    std::vector<std::string> Paths() const {
        std::vector<std::string> v;
        for (const PlannedPart& p : c->Resources()) v.push_back(p.strPath);
        return v;
    }

    std::string Body() const { return testutil::HtmlPartOf(eml); }

    // The Content-ID the n-th new file (0-based) gets for a value at pos: the
    // fixed generator hands out 1, 2, 3, ... and each file draws R1 then R2.
    static std::string Cid(std::size_t pos, int n) {
        return std::to_string(pos + 2 * n + 2) + "$" + std::to_string(2 * n + 1) + "@testhost";
    }
};
