#pragma once
// Which mail programs support the features a page uses, from the caniemail.com
// data (third_party/caniemail, compiled in): per feature its places and each
// client's latest tested support, per client a score.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace check {

// A feature as the scan names it ("property:position"), with its places.
struct FeaturePlace {
    std::string strSource;  // the style sheet it is written in; empty for the page
    std::uint32_t nLine = 0;
    std::uint32_t nColumn = 0;
};
struct FeatureUse {
    std::string strName;
    std::size_t nCount = 0;
    std::vector<FeaturePlace> listPlaces;  // the first few
};

enum class Support : std::uint8_t { Yes, Partial, No, Unknown };

struct ClientVerdict {
    std::size_t nClient = 0;  // in SupportReport::listClients
    Support support = Support::Unknown;
    std::string strVersion;              // of the latest test; empty when never tested
    std::vector<std::string> listNotes;  // the notes' text
};

struct FeatureRow {
    std::string strSlug;
    std::string strTitle;
    std::string strUrl;
    std::string strCategory;
    std::size_t nCount = 0;
    std::vector<FeaturePlace> listPlaces;
    // A warning when a client of the default set does not support it at all.
    bool bWarning = false;
    std::vector<ClientVerdict> listSupport;  // one per client shown
};

struct ClientScore {
    std::string strId;    // "family.platform": "outlook.windows"
    std::string strName;  // "Outlook Windows"
    unsigned nYes = 0, nPartial = 0, nNo = 0, nUnknown = 0;
    // Percent of the features with a known support: partial counts half.
    double Score() const;
    bool HasScore() const { return nYes + nPartial + nNo > 0; }
};

struct SupportReport {
    bool bDone = false;  // client support was asked for
    std::string strError;  // the data could not be read: no clients, no features
    std::string strDataDate;
    std::vector<ClientScore> listClients;
    std::vector<FeatureRow> listFeatures;  // by their first place
    unsigned Warnings() const;
};

// Reads the data now, on the caller's thread, so that the calls below do
// not wait for it; they read it at their first call otherwise.
void PreloadClientData();

// Why json could not serve as the data; empty when it can. The compiled-in
// data goes the same way: a failure gives no clients and no features, and
// SupportReport::strError says why.
std::string ClientDataError(std::string_view json);

// The clients shown when none are chosen.
const std::vector<std::string>& DefaultClients();
// Every client id of the data, sorted.
std::vector<std::string> KnownClients();
// The ids that match any of the globs ("outlook.*", "*.ios"), in the data's
// order; the first glob that matches none is put in unmatched.
std::vector<std::string> SelectClients(const std::vector<std::string>& globs, std::string& unmatched);

SupportReport ClientSupport(const std::vector<FeatureUse>& uses, const std::vector<std::string>& clients);

const char* SupportName(Support support);

} // namespace check
