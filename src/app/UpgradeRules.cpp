#include "app/UpgradeRules.h"

#include <charconv>
#include <filesystem>
#include <system_error>

#include "base/Exception.h"
#include "base/StringTable.h"
#include "net/UrlParts.h"
#include "platform/Browser.h"

namespace tallyhawk {

namespace {

constexpr std::size_t kLongestExtension = 16;

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::string OwnProductName() { return TALLYHAWK_PRODUCT_NAME; }

double OwnProductVersion() { return ParseVersion(TALLYHAWK_PRODUCT_VERSION); }

double ParseVersion(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
    if (start < text.size() && text[start] == '+') ++start;
    double value = 0.0;
    const char* first = text.data() + start;
    const auto [end, error] =
        std::from_chars(first, text.data() + text.size(), value, std::chars_format::fixed);
    return error == std::errc() && end != first ? value : 0.0;
}

std::string BuiltInUpgradeServer() { return TALLYHAWK_UPGRADE_SERVER; }

std::string ProductListUrl(const std::string& server) {
    return "https://" + server + "/" + kProductListFile;
}

std::string VersionText(double version) {
    char text[64];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, version, std::chars_format::fixed, 3);
    if (error != std::errc()) return "0.000";  // beyond 1e60: no version anyone writes
    return std::string(text, end);
}

CUpgradeFinding FindUpgrade(const CServerInventory& list, const std::string& name,
                            double version) {
    CUpgradeFinding finding;
    if (!list.Find(name, finding.item)) {
        finding.status = LoadString(IDS_UPGRADE_NOT_LISTED);
        return finding;
    }
    finding.listed = true;
    bool isFree = false;
    if (list.IsNewer(name, version, isFree)) {
        finding.newer = true;
        finding.status = FormatString(isFree ? IDS_UPGRADE_NEWER_FREE : IDS_UPGRADE_NEWER,
                                      {VersionText(finding.item.latestVersion), finding.item.name});
    } else {
        finding.status = FormatString(IDS_UPGRADE_CURRENT, {finding.item.name});
    }
    return finding;
}

bool IsSecureUrl(const std::string& url) {
    CUrlParts parts;
    return CrackUrl(url, parts) && parts.scheme == "https";
}

void RequireSecureSetupUrl(const std::string& url) {
    if (!IsSecureUrl(url)) throw CGenericException(FormatString(IDS_SETUP_NOT_SECURE, {url}));
}

std::string SetupExtension(const std::string& url) {
    CUrlParts parts;
    if (!CrackUrl(url, parts)) return {};
    std::string path = parts.path.substr(0, parts.path.find('?'));
    const std::string name = path.substr(path.rfind('/') + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    std::string extension = name.substr(dot + 1);
    if (extension.empty() || extension.size() > kLongestExtension) return {};
    for (char c : extension) {
        if (!IsAsciiAlnum(c)) return {};
    }
    return extension;
}

std::string SetupFileName(const CInventoryItem& item) {
    std::string name = item.name;
    for (char& c : name) {
        if (c == '/' || c == '\\' || c == '\0') c = '_';
    }
    name += VersionText(item.latestVersion);
    const std::string extension = SetupExtension(item.setupUrl);
    if (!extension.empty()) name += "." + extension;
    return name;
}

std::string SetupFileFilter(const std::string& extension) {
    if (extension.empty()) return LoadString(IDS_SETUP_FILTER_ANY);
    return FormatString(IDS_SETUP_FILTER, {extension, extension});
}

std::vector<std::string> OpenFileCommand(const std::string& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return {kDesktopOpener, error ? path : absolute.string()};
}

}  // namespace tallyhawk
