// tallyhawk-cli: the headless front end of Tallyhawk.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/Commands.h"

namespace {

using namespace tallyhawk::cli;

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const Args&);
    const char* const* help;
};

// One entry per command, in the order --help lists them.
const Command kCommands[] = {
    {"diff", "compare two versions of a page and print the changes", &RunDiff, &kDiffHelp},
    {"fetch", "download a URL to standard output, progress to standard error", &RunFetch,
     &kFetchHelp},
    {"new", "create an empty document", &RunNew, &kNewHelp},
    {"add", "add a page to a document", &RunAdd, &kAddHelp},
    {"import", "add pages from this machine's bookmarks or favorites", &RunImport, &kImportHelp},
    {"list", "list a document's pages", &RunList, &kListHelp},
    {"show", "show one page and its settings", &RunShow, &kShowHelp},
    {"set", "change a page's settings", &RunSet, &kSetHelp},
    {"remove", "remove a page", &RunRemove, &kRemoveHelp},
    {"defaults", "show or change the settings new pages start with", &RunDefaults, &kDefaultsHelp},
    {"update", "check a page now and accept what it finds", &RunUpdate, &kUpdateHelp},
    {"view", "show a page's changes and accept them", &RunView, &kViewHelp},
    {"watch", "watch a document's pages", &RunWatch, &kWatchHelp},
    {"preview", "download a page now and print what its settings watch", &RunPreview, &kPreviewHelp},
    {"history", "list, show and compare the versions a page had", &RunHistory, &kHistoryHelp},
    {"check", "check the due pages once and report what changed", &RunCheck, &kCheckHelp},
    {"product-list", "write or show the Upgrade Wizard's product list", &RunProductList,
     &kProductListHelp},
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: tallyhawk-cli COMMAND [ARGUMENTS...]\n"
                 "Tallyhawk watches web pages and shows what changed.\n\n"
                 "Commands:\n");
    for (const Command& command : kCommands)
        std::fprintf(out, "  %-13s %s\n", command.name, command.summary);
    std::fprintf(out, "\nRun 'tallyhawk-cli COMMAND --help' for a command's options,\n"
                      "'tallyhawk-cli --version' for the version.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return 0;
    }
    if (name == "--version") {
        std::printf("tallyhawk-cli %s\n", TALLYHAWK_VERSION);
        return 0;
    }
    for (const Command& command : kCommands) {
        if (name != command.name) continue;
        Args args(argv + 2, argv + argc);
        for (const std::string& arg : args) {
            if (arg == "--help" || arg == "-h") {
                std::fputs(*command.help, stdout);
                return 0;
            }
        }
        return command.run(args);
    }
    std::fprintf(stderr, "tallyhawk-cli: unknown command '%s' (try --help)\n", name.c_str());
    return 2;
}
