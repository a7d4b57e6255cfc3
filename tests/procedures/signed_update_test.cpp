// A signed database from a real web server (nginx) to the unit, as the window and the command
// line take it: the version file fetched within its bounds, its signature checked with the
// platform's cryptography (libcrypto natively, CNG under Wine), its archive fetched (libcurl,
// WinInet) and compared with what it announced, then the update run. Every change on the way
// must leave the unit untouched and say why; keys and signatures are made by openssl.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/event_sink.h"
#include "base/prompts.h"
#include "base/text.h"
#include "device/gps_unit.h"
#include "net/archive_check.h"
#include "net/http_download.h"
#include "net/signature_encoding.h"
#include "net/version_check.h"
#include "net/version_trust.h"
#include "package/package_writer.h"
#include "package/sample_package.h"
#include "package/vendor_config.h"
#include "procedures/update_run.h"
#include "tests/device/device_test_support.h"
#include "tests/support/local_services.h"
#include "update/archivers.h"
#include "update/staging_files.h"
#include "update/staging_paths.h"

namespace kivrel {
namespace {

namespace fs = std::filesystem;
using test::LocalServices;
using namespace std::chrono_literals;

std::string Text(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

// "Unpacks" by copying the archive, which is the update file itself, into the destination:
// what is checked here is that the archive is the announced one, not the archive format.
struct CopyingArchivers : Archivers {
    int runs = 0;
    bool FindArchiver(const std::wstring& destination, const std::wstring& archive,
                      std::wstring& executable, std::wstring& arguments) override {
        executable = L"copy";
        arguments = destination + L"|" + archive;
        return true;
    }
    bool RunArchiver(const std::wstring& arguments, const std::wstring&, std::uint32_t& exitCode,
                     const std::atomic<std::int32_t>&) override {
        ++runs;
        const std::size_t bar = arguments.find(L'|');
        const fs::path destination(arguments.substr(0, bar));
        fs::create_directories(destination);
        fs::copy_file(fs::path(arguments.substr(bar + 1)), destination / "Camera.qdx",
                      fs::copy_options::overwrite_existing);
        exitCode = 0;
        return true;
    }
};

struct QuietPrompts : Prompts {
    std::vector<std::wstring> errors;
    void ShowError(std::wstring_view text) override { errors.emplace_back(text); }
    void ShowInformation(std::wstring_view, std::wstring_view) override {}
    bool AskYesNo(std::wstring_view, std::wstring_view) override { return true; }
};

struct QuietView : UpdateRunView {
    void EnableButtons(bool) override {}
    void SetProgressText(std::wstring_view) override {}
    void SetProgressPosition(std::uint32_t) override {}
    void ShowTransferProgress() override {}
    void OpenFolder(const std::wstring&) override {}
    void RunFinished() override {}
};

// The server, the keys and the files, made once for the suite (the Windows tests start few
// processes).
class SignedUpdate : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (const char* program : {test::kNginx, test::kOpenssl}) {
            if (!LocalServices::Installed(program)) {
                skipReason =
                    std::string(program) + " is not installed here (scripts/bootstrap installs it)";
                return;
            }
        }
        suite = std::make_unique<Suite>();
        skipReason = suite->Prepare();
    }
    static void TearDownTestSuite() { suite.reset(); }

    void SetUp() override {
        if (!skipReason.empty()) GTEST_SKIP() << skipReason;
        ASSERT_TRUE(unit.ConnectAndRead());
        unit.unit.link.SetNotify(&unit.sink);
        bank0 = unit.Bytes(0, 0, 0x400000);
        bank1 = unit.Bytes(1, 0, 0x400000);
    }

    struct Suite {
        LocalServices services;
        std::uint16_t port = LocalServices::FreePort();
        std::vector<std::uint8_t> archive;
        std::vector<std::uint8_t> otherArchive;
        std::string keyPem;
        std::string otherKeyPem;

        std::string Url(const std::string& path) const {
            return "http://127.0.0.1:" + std::to_string(port) + path;
        }
        // The version file's signed part for the archive at `archivePath`, announcing `bytes`.
        std::string Body(const std::string& archivePath, const std::vector<std::uint8_t>& bytes) {
            return WriteVersionText("20300101", Url(archivePath), Sha256Of(bytes), bytes.size());
        }
        // `body` with the signature openssl makes with `key`; empty when it failed.
        std::string Signed(const std::string& body, const std::string& key) {
            static int count = 0;
            const std::string name = "body" + std::to_string(++count);
            if (!services.WriteFile(name, body) ||
                !services.Run(std::string(test::kOpenssl) + " dgst -sha256 -sign " + key +
                                  " -out " + name + ".sig " + name,
                              60s)) {
                return {};
            }
            const std::string signature = services.ReadFile(name + ".sig");
            return body +
                   WriteSignatureLine(std::span(
                       reinterpret_cast<const std::uint8_t*>(signature.data()), signature.size()));
        }
        bool Publish(const std::string& name, const std::string& bytes) {
            return services.WriteFile("www/" + name, bytes);
        }

        std::string Prepare() {
            SampleOptions options;
            options.sizes.modelCount = 0;
            options.sizes.recordsPerProvince = 0;
            archive = WritePackage(MakeSamplePackage(options)).bytes;
            options.sizes.database += 4096;  // another update file, as valid
            otherArchive = WritePackage(MakeSamplePackage(options)).bytes;
            std::filesystem::create_directories(services.LocalPath("www/db"));
            const std::string keys = std::string(test::kOpenssl) +
                                     " ecparam -name prime256v1 -genkey -noout -out key.pem && " +
                                     test::kOpenssl + " ec -in key.pem -pubout -out key.pub && " +
                                     test::kOpenssl +
                                     " ecparam -name prime256v1 -genkey -noout -out other.pem && " +
                                     test::kOpenssl + " ec -in other.pem -pubout -out other.pub";
            if (!services.Run(keys + " 2> keys.err", 60s)) {
                return "openssl made no keys: " + services.ReadFile("keys.err");
            }
            keyPem = services.ReadFile("key.pub");
            otherKeyPem = services.ReadFile("other.pub");

            const std::string good = Body("/db/camera.zip", archive);
            std::string flippedVersion = Signed(good, "key.pem");
            std::string flippedSignature = flippedVersion;
            if (flippedVersion.empty()) return "openssl could not sign";
            flippedVersion[3] ^= 1;  // 20300101 becomes 20310101
            const std::size_t signature = flippedSignature.find("signature=") + 20;
            flippedSignature[signature] = flippedSignature[signature] == 'A' ? 'B' : 'A';
            std::string flippedArchive(archive.begin(), archive.end());
            flippedArchive[flippedArchive.size() / 2] ^= 0x01;
            const bool published =
                Publish("db/camera.zip", Text(archive)) &&
                Publish("db/flipped.zip", flippedArchive) &&
                Publish("db/other.zip", Text(otherArchive)) &&
                Publish("signed.txt", Signed(good, "key.pem")) &&
                Publish("flipped-archive.txt",
                        Signed(Body("/db/flipped.zip", archive), "key.pem")) &&
                Publish("swapped-archive.txt", Signed(Body("/db/other.zip", archive), "key.pem")) &&
                Publish("flipped-version.txt", flippedVersion) &&
                Publish("flipped-signature.txt", flippedSignature) &&
                Publish("other-key.txt", Signed(good, "other.pem")) &&
                Publish("unsigned.txt", good);
            if (!published) return "the served files could not be written";

            std::string config = "daemon off;\nmaster_process off;\npid " +
                                 services.ProgramPath("nginx.pid") +
                                 ";\nevents { worker_connections 64; }\nhttp {\n  access_log " +
                                 services.ProgramPath("access.log") + ";\n";
            for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
                config +=
                    std::string("  ") + temp + "_temp_path " + services.ProgramPath("temp") + ";\n";
            }
            config += "  server { listen 127.0.0.1:" + std::to_string(port) + "; root " +
                      services.ProgramPath("www") + "; }\n}\n";
            if (!services.WriteFile("nginx.conf", config)) return "cannot write nginx.conf";
            const std::string command = std::string(test::kNginx) + " -p '" +
                                        services.ProgramPath("") + "' -e '" +
                                        services.ProgramPath("nginx-error.log") + "' -c '" +
                                        services.ProgramPath("nginx.conf") + "'";
            if (!services.Start(command, {port})) {
                return "nginx did not start: " + services.ReadFile("nginx-error.log");
            }
            return {};
        }
    };

    // What the window and `kivrel update --online` do: fetch the version file within its
    // bounds, parse it, check it, and run the update from what it names. The refusal of the
    // version file, or the run's error text; empty on success.
    std::wstring UpdateFrom(const std::string& versionFile, const VersionTrustPolicy& policy) {
        const std::wstring local = (scratch / "Tmp").wstring();
        NullEventSink quiet;
        downloader.SetParameters(&quiet, Utf8ToWide(suite->Url("/" + versionFile)), local, L"", L"",
                                 L"", L"", L"", 1, 0, 0, 0, 0.0, 0);
        downloader.SetBounds(kVersionFileBounds);
        EXPECT_EQ(downloader.Start(true), L"");
        EXPECT_EQ(downloader.Result().code, 0u);
        const auto parsed = ParseVersionFile(local);
        if (!parsed) return std::wstring(kTextAccessFailed);
        const VersionVerdict verdict = CheckVersionFile(*parsed, policy);
        if (verdict.trust == VersionTrust::kRefused) return verdict.refusal;

        UpdateRunShared shared;
        shared.archiveUrl = parsed->archiveUrl;
        shared.announcedArchive = verdict.archive;
        QuietPrompts prompts;
        QuietView view;
        UpdateRunServices services{unit.unit,
                                   downloader,
                                   archivers,
                                   SystemStagingFiles(),
                                   quiet,
                                   prompts,
                                   view,
                                   DefaultVendorConfig(),
                                   JoinPath(scratch.wstring(), L"")};
        services.afterDownload = 0ms;
        services.afterArchiver = 0ms;
        const UpdateRunOutcome outcome = UpdateWorker(shared, services);
        return outcome.succeeded ? std::wstring() : outcome.errorText;
    }

    VersionTrustPolicy Trusting(const std::string& pem) {
        VersionTrustPolicy policy;
        EXPECT_TRUE(AddTrustedKey(policy, L"Kivrel", pem));
        return policy;
    }

    bool UnitUntouched() {
        return unit.sink.starts.empty() && unit.Bytes(0, 0, 0x400000) == bank0 &&
               unit.Bytes(1, 0, 0x400000) == bank1;
    }

    static inline std::unique_ptr<Suite> suite;
    static inline std::string skipReason;
    test::SimUnit unit;
    std::vector<std::uint8_t> bank0;
    std::vector<std::uint8_t> bank1;
    CopyingArchivers archivers;
    CHttpDownload downloader;
    fs::path scratch = [] {
        const fs::path path =
            fs::temp_directory_path() /
            ("kivrel-signed-" +
             std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(path);
        fs::create_directories(path);
        return path;
    }();
};

TEST_F(SignedUpdate, ASignedFileAndItsArchiveUpdateTheUnit) {
    EXPECT_EQ(UpdateFrom("signed.txt", Trusting(suite->keyPem)), L"");
    EXPECT_FALSE(UnitUntouched()) << unit.sink.starts.size() << " " << archivers.runs;
    EXPECT_EQ(archivers.runs, 1);
    // Without a key to check it with, the same file is taken as it always was.
    EXPECT_EQ(UpdateFrom("signed.txt", {}), L"");
    fs::remove_all(scratch);
}

TEST_F(SignedUpdate, EveryChangeOnTheWayIsRefusedWithItsTextAndTheUnitLeftAlone) {
    const VersionTrustPolicy policy = Trusting(suite->keyPem);
    const std::wstring notSigned = L"The database is not signed by " + policy.keys[0].name + L".";
    struct Case {
        const char* versionFile;
        std::wstring refusal;
    };
    const Case cases[] = {
        {"flipped-archive.txt", std::wstring(kTextNotAnnounced)},
        {"swapped-archive.txt", std::wstring(kTextNotAnnounced)},
        {"flipped-version.txt", notSigned},
        {"flipped-signature.txt", notSigned},
        {"other-key.txt", notSigned},
        {"unsigned.txt", notSigned},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.versionFile);
        EXPECT_EQ(UpdateFrom(c.versionFile, policy), c.refusal);
        EXPECT_TRUE(UnitUntouched());
        EXPECT_EQ(archivers.runs, 0);  // nothing was unpacked
    }
    fs::remove_all(scratch);
}

}  // namespace
}  // namespace kivrel
