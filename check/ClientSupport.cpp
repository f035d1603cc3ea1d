#include "check/ClientSupport.h"

#include <fnmatch.h>
#include <json-glib/json-glib.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

#include "core/Ascii.h"

namespace check {

// third_party/caniemail/caniemail.json, compiled in by the build.
extern const unsigned char kCaniemailJson[];
extern const std::size_t kCaniemailJsonSize;

namespace {

struct Latest {
    std::string strVersion;
    std::string strValue;  // "y", "n", "a #1 #3", "u"
};

struct DataFeature {
    std::string strSlug, strTitle, strUrl, strCategory, strKeywords;
    std::map<std::string, std::string> notes;          // by number
    std::unordered_map<std::string, Latest> support;  // by client id
};

struct Data {
    std::string strError;
    std::string strDate;
    std::vector<DataFeature> listFeatures;
    std::vector<std::string> listClients;  // in the order first met
    std::unordered_map<std::string, std::string> clientNames;
    std::unordered_map<std::string, std::size_t> byName;  // scan name to feature
};

std::string Str(JsonObject* o, const char* member) {
    const char* s = json_object_get_string_member_with_default(o, member, "");
    return s ? s : "";
}

JsonObject* ObjectMember(JsonObject* o, const char* member) {
    JsonNode* node = json_object_get_member(o, member);
    return node && JSON_NODE_HOLDS_OBJECT(node) ? json_node_get_object(node) : nullptr;
}

// Splits at ", ", " & " and " and ".
std::vector<std::string> TitleTokens(std::string title) {
    for (const char* sep : {" & ", " and "})
        for (std::size_t at; (at = title.find(sep)) != std::string::npos;) title.replace(at, std::string(sep).size(), ",");
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= title.size()) {
        std::size_t end = title.find(',', start);
        if (end == std::string::npos) end = title.size();
        std::string_view t = ascii::Trim(std::string_view(title).substr(start, end - start));
        if (!t.empty()) out.emplace_back(t);
        start = end + 1;
    }
    return out;
}

bool IsIdent(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
    return true;
}

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// The scan's names for each feature of the data. Exact names first, then the
// title's, then the keywords': an earlier feature keeps a name.
void NameFeatures(Data& d) {
    auto add = [&](std::string name, std::size_t i) { d.byName.emplace(std::move(name), i); };
    const std::size_t n = d.listFeatures.size();
    std::vector<std::string> valueProperties;
    for (std::size_t i = 0; i < n; ++i) {
        const DataFeature& f = d.listFeatures[i];
        const std::string& s = f.strSlug;
        if (f.strCategory == "html" && StartsWith(s, "html-")) {
            std::string x = s.substr(5);
            if (f.strTitle.find("attribute") != std::string::npos) {
                if (x.size() > 10 && x.compare(x.size() - 10, 10, "-attribute") == 0) x.resize(x.size() - 10);
                add("attribute:" + x, i);
            } else if (StartsWith(x, "input-") || StartsWith(x, "button-")) {
                std::size_t dash = x.find('-');
                add(x.substr(0, dash) + ":" + x.substr(dash + 1), i);
            } else if (f.strTitle.find("<" + x + ">") != std::string::npos) {
                add("element:" + x, i);
            }
        } else if (f.strCategory == "css" && StartsWith(s, "css-")) {
            std::string x = s.substr(4);
            if (StartsWith(x, "at-media-")) {
                add("media:" + x.substr(9), i);
                for (std::size_t at = 0; (at = f.strTitle.find('(', at)) != std::string::npos; ++at) {
                    std::size_t end = f.strTitle.find(')', at);
                    if (end != std::string::npos) add("media:" + f.strTitle.substr(at + 1, end - at - 1), i);
                }
            } else if (StartsWith(x, "at-")) add("at:" + x.substr(3), i);
            else if (StartsWith(x, "pseudo-class-")) add("pseudo-class:" + x.substr(13), i);
            else if (StartsWith(x, "pseudo-element-")) add("pseudo-element:" + x.substr(15), i);
            else if (StartsWith(x, "selector-")) add("selector:" + x.substr(9), i);
            else if (StartsWith(x, "function-")) add("function:" + x.substr(9), i);
            else if (StartsWith(x, "unit-")) {
                std::string u = x.substr(5);
                add(u == "percent" ? "unit:%" : u == "initial" ? "ident:initial" : u == "calc" ? "function:calc" : "unit:" + u, i);
            } else if (x == "comments") add("css:comment", i);
            else if (x == "important" || x == "nesting") add("css:" + x, i);
            else if (x == "variables") {
                add("property:--", i);
                add("function:var", i);
            } else if (std::size_t colon = f.strTitle.find(':'); colon != std::string::npos && IsIdent(f.strTitle.substr(0, colon))) {
                // "display:flex", "flex-wrap: wrap": the data tells this value apart.
                std::string property = f.strTitle.substr(0, colon);
                add("value:" + property + ":" + std::string(ascii::Trim(std::string_view(f.strTitle).substr(colon + 1))), i);
                valueProperties.push_back(property);
            } else add("property:" + x, i);
        } else if (f.strCategory == "image" && StartsWith(s, "image-")) {
            add("image:image/" + s.substr(6), i);
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        const DataFeature& f = d.listFeatures[i];
        if (f.strCategory != "css" || f.strTitle.find(':') != std::string::npos) continue;
        // Value keywords, named in the title: "system-ui, ui-serif", "fit-content, min-content".
        const bool values = f.strSlug == "css-sytem-ui" || f.strSlug == "css-intrinsic-size";
        for (const std::string& t : TitleTokens(f.strTitle)) {
            if (t.size() > 2 && t.compare(t.size() - 2, 2, "()") == 0) add("function:" + t.substr(0, t.size() - 2), i);
            for (std::size_t sp = 0, end; sp < t.size(); sp = end + 1) {  // "CSS calc() function"
                end = std::min(t.find(' ', sp), t.size());
                std::string w = t.substr(sp, end - sp);
                if (w.size() > 2 && w.compare(w.size() - 2, 2, "()") == 0) add("function:" + w.substr(0, w.size() - 2), i);
            }
            if (IsIdent(t) && !StartsWith(f.strSlug, "css-at-")) add((values ? "ident:" : "property:") + t, i);
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        const DataFeature& f = d.listFeatures[i];
        for (const std::string& k : TitleTokens(f.strKeywords)) {
            if (f.strCategory == "css" && k.find('-') != std::string::npos && IsIdent(k) && !StartsWith(f.strSlug, "css-at-"))
                add("property:" + k, i);
            // "h1", "ul", "article": elements a feature groups, unless it is about one attribute value.
            if (f.strCategory == "html" && IsIdent(k) && f.strTitle.find('"') == std::string::npos &&
                f.strTitle.find("attribute") == std::string::npos)
                add("element:" + k, i);
        }
    }
    // Names the data writes only in prose.
    auto alias = [&](const char* name, const char* slug) {
        for (std::size_t i = 0; i < n; ++i)
            if (d.listFeatures[i].strSlug == slug) return add(name, i);
    };
    alias("attribute:srcset", "html-srcset");
    alias("attribute:sizes", "html-srcset");
    alias("attribute:usemap", "html-image-maps");
    alias("element:map", "html-image-maps");
    alias("element:area", "html-image-maps");
    alias("link:anchor", "html-anchor-links");
    alias("link:mailto", "html-mailto-links");
    alias("meta:color-scheme", "html-meta-color-scheme");
    alias("html:comment", "html-comments");
    alias("html:doctype", "html-doctype");
    alias("image:image/jpeg", "image-jpg");
    alias("image:image/svg+xml", "image-svg");
    alias("image:image/x-icon", "image-ico");
    alias("image:image/vnd.microsoft.icon", "image-ico");
    alias("image:image/heic", "image-heif");
    alias("image:base64", "image-base64");
    alias("value:display:inline-flex", "css-display-flex");
    alias("value:display:inline-grid", "css-display-grid");
    alias("value:flex-direction:column-reverse", "css-flex-direction");
    alias("value:flex-wrap:wrap-reverse", "css-flex-wrap");
    // A property whose values the data tells apart is looked up by its value.
    for (const std::string& p : valueProperties) d.byName.erase("property:" + p);
}

// Data that cannot be read gives no clients and no features, and says why.
std::unique_ptr<Data> Load(std::string_view json) {
    auto d = std::make_unique<Data>();
    std::unique_ptr<JsonParser, decltype(&g_object_unref)> parser(json_parser_new(), g_object_unref);
    GError* error = nullptr;
    if (!json_parser_load_from_data(parser.get(), json.data(), static_cast<gssize>(json.size()), &error)) {
        d->strError = std::string("the caniemail data cannot be read: ") + (error ? error->message : "unknown error");
        g_clear_error(&error);
        return d;
    }
    JsonNode* rootNode = json_parser_get_root(parser.get());
    if (!rootNode || !JSON_NODE_HOLDS_OBJECT(rootNode) ||
        (json_object_has_member(json_node_get_object(rootNode), "data") &&
         !JSON_NODE_HOLDS_ARRAY(json_object_get_member(json_node_get_object(rootNode), "data")))) {
        d->strError = "the caniemail data cannot be read: it is not an object with a \"data\" array";
        return d;
    }
    JsonObject* root = json_node_get_object(rootNode);
    d->strDate = Str(root, "last_update_date");
    JsonObject* nice = ObjectMember(root, "nicenames");
    JsonObject* families = nice ? ObjectMember(nice, "family") : nullptr;
    JsonObject* platforms = nice ? ObjectMember(nice, "platform") : nullptr;
    JsonArray* data = json_object_has_member(root, "data") ? json_object_get_array_member(root, "data") : nullptr;
    for (guint i = 0; data && i < json_array_get_length(data); ++i) {
        JsonNode* node = json_array_get_element(data, i);
        if (!JSON_NODE_HOLDS_OBJECT(node)) continue;
        JsonObject* o = json_node_get_object(node);
        DataFeature& f = d->listFeatures.emplace_back();
        f.strSlug = Str(o, "slug");
        f.strTitle = Str(o, "title");
        f.strUrl = Str(o, "url");
        f.strCategory = Str(o, "category");
        f.strKeywords = Str(o, "keywords");
        if (JsonObject* notes = ObjectMember(o, "notes_by_num")) {
            GList* names = json_object_get_members(notes);
            for (GList* l = names; l; l = l->next) {
                auto* name = static_cast<const char*>(l->data);
                f.notes[name] = Str(notes, name);
            }
            g_list_free(names);
        }
        JsonObject* stats = ObjectMember(o, "stats");
        GList* familyNames = stats ? json_object_get_members(stats) : nullptr;
        for (GList* fl = familyNames; fl; fl = fl->next) {
            auto* family = static_cast<const char*>(fl->data);
            JsonObject* byPlatform = ObjectMember(stats, family);
            GList* platformNames = byPlatform ? json_object_get_members(byPlatform) : nullptr;
            for (GList* pl = platformNames; pl; pl = pl->next) {
                auto* platform = static_cast<const char*>(pl->data);
                JsonObject* versions = ObjectMember(byPlatform, platform);
                GList* versionNames = versions ? json_object_get_members(versions) : nullptr;
                // The members keep the file's order: the last version listed is the latest.
                if (GList* last = g_list_last(versionNames)) {
                    auto* version = static_cast<const char*>(last->data);
                    std::string id = std::string(family) + "." + platform;
                    f.support[id] = Latest{version, Str(versions, version)};
                    if (d->clientNames.emplace(id, std::string()).second) {
                        d->listClients.push_back(id);
                        const char* fn = families ? json_object_get_string_member_with_default(families, family, family) : family;
                        const char* pn = platforms ? json_object_get_string_member_with_default(platforms, platform, platform) : platform;
                        d->clientNames[id] = std::string(fn) + " " + pn;
                    }
                }
                g_list_free(versionNames);
            }
            g_list_free(platformNames);
        }
        g_list_free(familyNames);
    }
    NameFeatures(*d);
    return d;
}

const Data& TheData() {
    static std::once_flag once;
    static std::unique_ptr<Data> data;
    std::call_once(once, [] {
        try {
            data = Load(std::string_view(reinterpret_cast<const char*>(kCaniemailJson), kCaniemailJsonSize));
        } catch (const std::bad_alloc&) {
            data = std::make_unique<Data>();
            data->strError = "the caniemail data cannot be read: not enough memory";
        }
    });
    return *data;
}

// The feature a scan name stands for, or none.
const DataFeature* Lookup(const Data& d, const std::string& name) {
    auto found = d.byName.find(name);
    if (found != d.byName.end()) return &d.listFeatures[found->second];
    if (StartsWith(name, "value:display:")) return Lookup(d, "property:display");
    if (StartsWith(name, "media:")) {
        // "-webkit-min-device-pixel-ratio": without the vendor prefix, then without min-/max-.
        std::string feature = name.substr(6);
        if (feature.size() > 1 && feature[0] == '-') {
            std::size_t dash = feature.find('-', 1);
            if (dash == std::string::npos) return nullptr;
            feature.erase(0, dash + 1);
            if ((found = d.byName.find("media:" + feature)) != d.byName.end()) return &d.listFeatures[found->second];
        }
        if (StartsWith(feature, "min-") || StartsWith(feature, "max-"))
            if ((found = d.byName.find("media:" + feature.substr(4))) != d.byName.end()) return &d.listFeatures[found->second];
    }
    return nullptr;
}

ClientVerdict Verdict(const DataFeature& f, const std::string& client, std::size_t index) {
    ClientVerdict v;
    v.nClient = index;
    auto found = f.support.find(client);
    if (found == f.support.end()) return v;
    v.strVersion = found->second.strVersion;
    const std::string& value = found->second.strValue;
    switch (value.empty() ? 'u' : value[0]) {
    case 'y': v.support = Support::Yes; break;
    case 'a': v.support = Support::Partial; break;
    case 'n': v.support = Support::No; break;
    default: v.support = Support::Unknown; break;
    }
    for (std::size_t at = 0; (at = value.find('#', at)) != std::string::npos;) {
        std::size_t end = at + 1;
        while (end < value.size() && std::isdigit(static_cast<unsigned char>(value[end]))) ++end;
        auto note = f.notes.find(value.substr(at + 1, end - at - 1));
        if (note != f.notes.end()) v.listNotes.push_back(note->second);
        at = end;
    }
    return v;
}

bool Before(const FeaturePlace& a, const FeaturePlace& b) {
    // The page's places first, then each sheet's.
    if (a.strSource != b.strSource) return a.strSource.empty() || (!b.strSource.empty() && a.strSource < b.strSource);
    return a.nLine != b.nLine ? a.nLine < b.nLine : a.nColumn < b.nColumn;
}

} // namespace

void PreloadClientData() { TheData(); }

std::string ClientDataError(std::string_view json) { return Load(json)->strError; }

double ClientScore::Score() const {
    unsigned known = nYes + nPartial + nNo;
    return known ? 100.0 * (nYes + 0.5 * nPartial) / known : 0.0;
}

unsigned SupportReport::Warnings() const {
    unsigned n = 0;
    for (const FeatureRow& f : listFeatures) n += f.bWarning;
    return n;
}

const std::vector<std::string>& DefaultClients() {
    static const std::vector<std::string> clients = {
        "gmail.desktop-webmail", "gmail.android",   "gmail.ios",           "outlook.windows",
        "outlook.macos",         "outlook.outlook-com", "outlook.ios",     "outlook.android",
        "apple-mail.macos",      "apple-mail.ios",  "yahoo.desktop-webmail", "thunderbird.macos",
        "samsung-email.android"};
    return clients;
}

std::vector<std::string> KnownClients() {
    std::vector<std::string> ids = TheData().listClients;
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::vector<std::string> SelectClients(const std::vector<std::string>& globs, std::string& unmatched) {
    const std::vector<std::string> known = KnownClients();
    std::vector<std::string> out;
    for (const std::string& glob : globs) {
        bool any = false;
        for (const std::string& id : known)
            if (fnmatch(glob.c_str(), id.c_str(), 0) == 0) {
                any = true;
                if (std::find(out.begin(), out.end(), id) == out.end()) out.push_back(id);
            }
        if (!any && unmatched.empty()) unmatched = glob;
    }
    return out;
}

SupportReport ClientSupport(const std::vector<FeatureUse>& uses, const std::vector<std::string>& clients) {
    const Data& d = TheData();
    SupportReport report;
    report.bDone = true;
    report.strDataDate = d.strDate;
    report.strError = d.strError;
    for (const std::string& id : clients) {
        auto name = d.clientNames.find(id);
        ClientScore& score = report.listClients.emplace_back();
        score.strId = id;
        score.strName = name == d.clientNames.end() ? id : name->second;
    }
    // Several names may stand for one feature (border-top and border-left): one row.
    std::unordered_map<const DataFeature*, std::size_t> rowOf;
    std::vector<const DataFeature*> featureOf;  // by row
    for (const FeatureUse& use : uses) {
        const DataFeature* f = Lookup(d, use.strName);
        if (!f) continue;
        auto [at, added] = rowOf.emplace(f, report.listFeatures.size());
        if (added) {
            FeatureRow& row = report.listFeatures.emplace_back();
            row.strSlug = f->strSlug;
            row.strTitle = f->strTitle;
            row.strUrl = f->strUrl;
            row.strCategory = f->strCategory;
            featureOf.push_back(f);
        }
        FeatureRow& row = report.listFeatures[at->second];
        row.nCount += use.nCount;
        row.listPlaces.insert(row.listPlaces.end(), use.listPlaces.begin(), use.listPlaces.end());
    }
    for (std::size_t r = 0; r < report.listFeatures.size(); ++r) {
        FeatureRow& row = report.listFeatures[r];
        const DataFeature& f = *featureOf[r];
        std::sort(row.listPlaces.begin(), row.listPlaces.end(), Before);
        if (row.listPlaces.size() > 5) row.listPlaces.resize(5);
        for (const std::string& id : DefaultClients())
            if (Verdict(f, id, 0).support == Support::No) row.bWarning = true;
        for (std::size_t c = 0; c < clients.size(); ++c) {
            ClientVerdict v = Verdict(f, clients[c], c);
            ClientScore& score = report.listClients[c];
            switch (v.support) {
            case Support::Yes: ++score.nYes; break;
            case Support::Partial: ++score.nPartial; break;
            case Support::No: ++score.nNo; break;
            case Support::Unknown: ++score.nUnknown; break;
            }
            row.listSupport.push_back(std::move(v));
        }
    }
    std::sort(report.listFeatures.begin(), report.listFeatures.end(), [](const FeatureRow& a, const FeatureRow& b) {
        return Before(a.listPlaces.front(), b.listPlaces.front());
    });
    return report;
}

const char* SupportName(Support support) {
    switch (support) {
    case Support::Yes: return "yes";
    case Support::Partial: return "partial";
    case Support::No: return "no";
    case Support::Unknown: return "unknown";
    }
    return "";
}

} // namespace check
