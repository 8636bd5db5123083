// A key and a self-signed certificate for 127.0.0.1, made with the openssl
// command when a test first asks for them and removed when the test program
// ends. Only a downloader told to trust CertificateFile() accepts a server
// that presents them; the system's store does not know them.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace tallyhawk::testing {

class CTestCertificate {
public:
    const std::string& CertificateFile() const { return certificate; }
    const std::string& KeyFile() const { return key; }

    // The one pair of this test program.
    static const CTestCertificate& Shared() {
        static const CTestCertificate pair;
        return pair;
    }

    ~CTestCertificate() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    CTestCertificate(const CTestCertificate&) = delete;
    CTestCertificate& operator=(const CTestCertificate&) = delete;

private:
    CTestCertificate() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tallyhawk-tls-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("no folder for the certificate");
        folder = pattern;
        certificate = folder + "/certificate.pem";
        key = folder + "/key.pem";
        std::vector<std::string> arguments = {
            "openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
            "-nodes", "-keyout", key, "-out", certificate, "-days", "7",
            "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"};
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int spawned = posix_spawnp(&pid, "openssl", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        if (spawned != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            throw std::runtime_error("the openssl command could not make a test certificate");
        }
    }

    std::string folder;
    std::string certificate;
    std::string key;
};

}  // namespace tallyhawk::testing
