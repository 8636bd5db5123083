// One desktop program per user and display. The first one listens on a
// Unix socket in the user's runtime folder; a later start hands its command
// line (the document and "run") over to it and ends.
//
// User-interface thread only; the hand-over arrives through the toolkit's
// event loop.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/CommandLine.h"

class wxSingleInstanceChecker;

namespace tallyhawk {

class CInstanceServer;

class CSingleInstance {
public:
    // Called in the running instance for each hand-over.
    using HandOver = std::function<void(const CCommandLine&)>;

    // `name` tells instances apart: the display, by default. Without a
    // runtime folder the lock and the socket go to the private temporary
    // folder; throws CException when that folder is not this user's own.
    explicit CSingleInstance(std::string name = {});
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // True when another instance runs for this user and display.
    bool AnotherIsRunning() const;
    // Sends `line` (its document made absolute) to the running instance;
    // false when it could not be reached.
    bool SendToRunning(const CCommandLine& line) const;
    // Starts listening; false when the socket cannot be made.
    bool Listen(HandOver handOver);

    // The socket's path.
    const std::string& SocketPath() const { return socketPath; }

    // The hand-over's bytes: "run" or "norun", a line break, the document's
    // path (possibly empty). Decoding rejects anything else.
    static std::string Encode(const CCommandLine& line);
    static bool Decode(const std::string& bytes, CCommandLine& line);

private:
    std::string socketPath;
    std::unique_ptr<wxSingleInstanceChecker> checker;
    std::unique_ptr<CInstanceServer> server;
};

}  // namespace tallyhawk
