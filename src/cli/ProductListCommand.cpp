// tallyhawk-cli product-list: writes and reads the product list that the
// Upgrade Wizard downloads (brindlecote.fin), so that a distributor can
// publish one.
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <string>

#include "app/AtomicFile.h"
#include "app/ServerInventory.h"
#include "app/UpgradeRules.h"
#include "base/Exception.h"
#include "base/FileIo.h"
#include "cli/Commands.h"

namespace tallyhawk::cli {

const char* const kProductListHelp =
    "Usage: tallyhawk-cli product-list write FILE --name NAME --version X.Y --setup URL\n"
    "                                   [--free-from X.Y] [--description TEXT]\n"
    "                                   [--name NAME ... for each further product]\n"
    "       tallyhawk-cli product-list show FILE\n"
    "Writes or reads the product list that the Upgrade Wizard downloads from\n"
    "https://SERVER/brindlecote.fin. Each --name begins a product; the options\n"
    "after it describe that product:\n\n"
    "  --version X.Y       its newest version (a decimal number, compared as one)\n"
    "  --setup URL         where its setup program is; must be an https:// address\n"
    "  --free-from X.Y     the upgrade is free for users of this version and later\n"
    "                      (default 0: free for everyone)\n"
    "  --description TEXT  shown in the wizard's Description box\n\n"
    "The wizard finds this program under the name \"Tallyhawk\" (letter case and\n"
    "blanks at either end do not matter); a later product of the same name\n"
    "replaces an earlier one. write replaces FILE (readable by everyone, as a\n"
    "published file must be); show prints every product in the list.\n\n"
    "Exit status: 0 done, 1 the file could not be read or written (or is\n"
    "damaged; the reason is printed), 2 usage error, or FILE to show is no\n"
    "regular file or larger than 16 MiB.\n";

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Usage {
    std::string problem;
};

double ParseNumber(const std::string& option, const std::string& text) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (text.empty() || error != std::errc() || stop != end || value < 0)
        throw Usage{option + " needs a decimal number such as 1.2, not '" + text + "'"};
    return value;
}

// The products described by the options after FILE.
CServerInventory ParseProducts(const Args& args, std::size_t first) {
    CServerInventory list;
    CInventoryItem item;
    bool open = false, haveVersion = false;
    auto finish = [&] {
        if (!open) return;
        if (!haveVersion) throw Usage{"product '" + item.name + "' needs --version"};
        if (item.setupUrl.empty()) throw Usage{"product '" + item.name + "' needs --setup"};
        if (!IsSecureUrl(item.setupUrl))
            throw Usage{"--setup must be an https:// address (the wizard downloads nothing "
                        "else), not '" + item.setupUrl + "'"};
        list.Add(item);
    };
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (i + 1 >= args.size()) throw Usage{option + " needs a value"};
        const std::string& value = args[++i];
        if (option == "--name") {
            finish();
            item = CInventoryItem();
            item.name = value;
            open = true;
            haveVersion = false;
            if (CServerInventory::Key(value).empty()) throw Usage{"--name must not be blank"};
            continue;
        }
        if (!open) throw Usage{"each product begins with --name, before " + option};
        if (option == "--version") {
            item.latestVersion = ParseNumber(option, value);
            haveVersion = true;
        } else if (option == "--free-from") {
            item.freeUpgradeVersion = ParseNumber(option, value);
        } else if (option == "--setup") {
            item.setupUrl = value;
        } else if (option == "--description") {
            item.description = value;
        } else {
            throw Usage{"unknown option " + option};
        }
    }
    finish();
    if (list.Items().empty()) throw Usage{"no product given (--name NAME ...)"};
    return list;
}

void Write(const std::string& path, const CServerInventory& list) {
    // A published list is read by the web server, whoever it runs as.
    CAtomicFile file(path, 0644);
    WriteAll(file.Descriptor(), list.ToBytes());
    file.Commit();
}

CServerInventory Read(const std::string& path) {
    // No product list is larger than the wizard would read.
    return CServerInventory::FromBytes(ReadRegularFile(path, CServerInventory::kLargestList));
}

void Show(const CServerInventory& list) {
    for (const CInventoryItem& item : list.Items()) {
        std::printf("%s\n", item.name.c_str());
        std::printf("  version:     %s\n", VersionText(item.latestVersion).c_str());
        std::printf("  free from:   %s\n", VersionText(item.freeUpgradeVersion).c_str());
        std::printf("  setup:       %s\n", item.setupUrl.c_str());
        std::string description = item.description;
        for (std::size_t at = 0; (at = description.find('\n', at)) != std::string::npos; at += 16)
            description.insert(at + 1, std::string(15, ' '));
        std::printf("  description: %s\n", description.c_str());
    }
}

int Run(const Args& args) {
    if (args.size() < 2) throw Usage{"give write or show, and FILE"};
    const std::string& action = args[0];
    const std::string& path = args[1];
    if (action == "write") {
        const CServerInventory list = ParseProducts(args, 2);
        Write(path, list);
        return 0;
    }
    if (action == "show") {
        if (args.size() > 2) throw Usage{"show takes only FILE"};
        Show(Read(path));
        return 0;
    }
    throw Usage{"unknown action '" + action + "' (write or show)"};
}

}  // namespace

int RunProductList(const Args& args) {
    try {
        return Run(args);
    } catch (const Usage& usage) {
        std::fprintf(stderr, "tallyhawk-cli product-list: %s\n%s", usage.problem.c_str(),
                     kProductListHelp);
        return kExitUsage;
    } catch (const CFileRefusedException& refused) {
        // Not a file a list can be: like bad use, nothing to retry.
        std::fprintf(stderr, "tallyhawk-cli product-list: %s\n", refused.Message().c_str());
        return kExitUsage;
    } catch (const CException& error) {
        std::fprintf(stderr, "tallyhawk-cli product-list: %s: %s\n",
                     args.size() > 1 ? args[1].c_str() : "", error.Message().c_str());
        return kExitFailed;
    }
}

}  // namespace tallyhawk::cli
