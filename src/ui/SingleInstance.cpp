#include "ui/SingleInstance.h"

#include <unistd.h>

#include <wx/filename.h>
#include <wx/ipc.h>
#include <wx/snglinst.h>

#include <cctype>
#include <cstdlib>

#include "platform/TempDirectory.h"

namespace tallyhawk {

namespace {

constexpr const char* kTopic = "open";
constexpr const char* kHost = "localhost";

std::string Sanitized(std::string text) {
    for (char& c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return text;
}

// The user's own runtime folder, or else the private folder of the change
// files: a folder below /tmp that another user made, or a link planted at its
// name, must never carry the lock and the socket.
std::string RuntimeFolder() {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir) return dir;
    std::string folder = CPrivateTempDirectory().Prepare();
    folder.pop_back();  // the trailing '/'
    return folder;
}

std::string DefaultName() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) display = std::getenv("WAYLAND_DISPLAY");
    return display ? display : "none";
}

class CInstanceConnection : public wxConnection {
public:
    explicit CInstanceConnection(const CSingleInstance::HandOver& handOver)
        : handOver(handOver) {}
    bool OnExecute(const wxString&, const void* data, size_t size, wxIPCFormat) override {
        CCommandLine line;
        if (!data || !CSingleInstance::Decode(std::string(static_cast<const char*>(data), size),
                                             line))
            return false;
        handOver(line);
        return true;
    }

private:
    CSingleInstance::HandOver handOver;
};

}  // namespace

class CInstanceServer : public wxServer {
public:
    explicit CInstanceServer(CSingleInstance::HandOver handOver) : handOver(std::move(handOver)) {}
    wxConnectionBase* OnAcceptConnection(const wxString& topic) override {
        if (topic != kTopic) return nullptr;
        return new CInstanceConnection(handOver);
    }

private:
    CSingleInstance::HandOver handOver;
};

CSingleInstance::CSingleInstance(std::string name) {
    if (name.empty()) name = DefaultName();
    const std::string folder = RuntimeFolder();
    const std::string base = "tallyhawk-" + Sanitized(name);
    socketPath = folder + "/" + base + ".socket";
    checker = std::make_unique<wxSingleInstanceChecker>(wxString::FromUTF8(base + ".lock"),
                                                        wxString::FromUTF8(folder));
}

CSingleInstance::~CSingleInstance() {
    server.reset();
    if (!AnotherIsRunning()) ::unlink(socketPath.c_str());
}

bool CSingleInstance::AnotherIsRunning() const { return checker->IsAnotherRunning(); }

bool CSingleInstance::SendToRunning(const CCommandLine& given) const {
    CCommandLine line = given;
    if (line.file) {
        wxFileName file(wxString::FromUTF8(*line.file));
        file.MakeAbsolute();
        line.file = file.GetFullPath().utf8_string();
    }
    const std::string bytes = Encode(line);
    // The running one may still be starting: try for a few seconds.
    for (int attempt = 0; attempt < 50; ++attempt) {
        wxClient client;
        std::unique_ptr<wxConnectionBase> connection(
            client.MakeConnection(kHost, wxString::FromUTF8(socketPath), kTopic));
        if (connection) {
            const bool sent = connection->Execute(bytes.data(), bytes.size());
            connection->Disconnect();
            return sent;
        }
        wxMilliSleep(100);
    }
    return false;
}

bool CSingleInstance::Listen(HandOver handOver) {
    server = std::make_unique<CInstanceServer>(std::move(handOver));
    if (server->Create(wxString::FromUTF8(socketPath))) return true;
    server.reset();
    return false;
}

std::string CSingleInstance::Encode(const CCommandLine& line) {
    return std::string(line.run ? "run" : "norun") + "\n" + line.file.value_or("");
}

bool CSingleInstance::Decode(const std::string& bytes, CCommandLine& line) {
    const std::size_t split = bytes.find('\n');
    if (split == std::string::npos) return false;
    const std::string flag = bytes.substr(0, split);
    if (flag != "run" && flag != "norun") return false;
    std::string file = bytes.substr(split + 1);
    if (file.find('\0') != std::string::npos) return false;
    line.run = flag == "run";
    line.file = file.empty() ? std::nullopt : std::optional<std::string>(file);
    return true;
}

}  // namespace tallyhawk
