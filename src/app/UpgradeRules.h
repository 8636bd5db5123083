// What the upgrade wizard decides, without a window: where the maker's
// product list is, what this program's own name and version are, what the
// list says about them, and how a setup program is named, checked and handed
// to the desktop. The wizard (dialogs/UpgradeWizardDlg.h) only wires these to
// its controls; the command line's product-list commands use the list part.
//
// Plain functions, any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/ServerInventory.h"

namespace tallyhawk {

// The product list's file name on the maker's web server.
inline constexpr const char* kProductListFile = "brindlecote.fin";

// The name and version this program was built as (the build's project name
// and version); the version as a number, so "0.1.0" is 0.1.
std::string OwnProductName();
double OwnProductVersion();
// The leading decimal number of `text`, as the C library's text-to-double
// conversion reads it ("1.00" is 1.0, "1.2.3" is 1.2), but the same in
// every locale; 0 when the text begins with no number.
double ParseVersion(std::string_view text);

// The maker's web server the program was built with: a host name, maybe
// with a port and a folder ("updates.example.org:8443/tallyhawk").
std::string BuiltInUpgradeServer();
// "https://" SERVER "/brindlecote.fin".
std::string ProductListUrl(const std::string& server);

// A version with three decimals, as the status texts show it ("%2.3f": 1.1
// is "1.100"), with a point in every locale.
std::string VersionText(double version);

// What the list says about a product.
struct CUpgradeFinding {
    bool listed = false;  // the list names the product
    bool newer = false;   // and offers a newer version: the wizard offers the download
    CInventoryItem item;  // the list's entry, when listed
    std::string status;   // the wizard's status text
};
CUpgradeFinding FindUpgrade(const CServerInventory& list, const std::string& name,
                            double version);

// Whether `url` is an https: address (the scheme in any letter case).
bool IsSecureUrl(const std::string& url);
// Throws CGenericException saying why a setup program from `url` is not
// downloaded, unless `url` is an https: address.
void RequireSecureSetupUrl(const std::string& url);

// The extension of the file that `url` names ("deb" for
// https://host/get/tallyhawk_1.2_amd64.deb?mirror=2), without the point;
// empty when its last path segment has none or an odd one (not 1 to 16
// letters and digits).
std::string SetupExtension(const std::string& url);
// The setup file's default name: the product's name directly followed by
// its latest version with three decimals, then the extension of its setup
// URL ("Tallyhawk1.200.deb"). Slashes in the name become "_".
std::string SetupFileName(const CInventoryItem& item);
// The save dialog's filter for setup files with `extension` (empty: all files).
std::string SetupFileFilter(const std::string& extension);

// The argument vector that hands `path` to the desktop's "open" action (the
// desktop's package installer for a .deb, for instance); a relative path is
// made absolute first, so it cannot be taken for an option.
std::vector<std::string> OpenFileCommand(const std::string& path);

}  // namespace tallyhawk
