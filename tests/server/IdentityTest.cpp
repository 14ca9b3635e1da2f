#include "identity/Identity.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sys/stat.h>

namespace {

std::string RunCommand(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
        pclose(pipe);
    }
    return output;
}

TEST(Identity, TheFingerprintIsTheSha256OfTheCertificateAsOpensslPrintsIt) {
    QTemporaryDir folder;
    std::string file = folder.filePath("cert.pem").toStdString();
    TIdentity identity = MakeIdentity("someone");
    ASSERT_FALSE(identity.CertificatePem.empty());
    std::ofstream(file) << identity.CertificatePem;
    std::string printed = RunCommand("openssl x509 -noout -fingerprint -sha256 -in " + file + " 2>/dev/null");
    if (printed.empty()) GTEST_SKIP() << "no openssl command to compare with";
    EXPECT_EQ(printed, "sha256 Fingerprint=" +
                           DisplayFingerprint(CertificateFingerprint(identity.CertificatePem)) + "\n");
    std::string text = RunCommand("openssl x509 -noout -subject -enddate -in " + file);
    EXPECT_NE(text.find("CN = someone"), std::string::npos) << text;
    EXPECT_NE(CertificateFingerprint(identity.CertificatePem),
              CertificateFingerprint(MakeIdentity("someone").CertificatePem));
    EXPECT_EQ(CertificateFingerprint("not a certificate"), "");
}

TEST(Identity, MadeOnceKeptPrivateAndReadBackTheSame) {
    QTemporaryDir folder;
    std::string certificate = folder.filePath("c.pem").toStdString();
    std::string key = folder.filePath("k.pem").toStdString();
    TIdentityResult first = LoadOrMakeIdentity(certificate, key, "server");
    ASSERT_EQ(first.Error, "");
    EXPECT_TRUE(first.Created);
    struct stat info;
    ASSERT_EQ(stat(key.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    TIdentityResult second = LoadOrMakeIdentity(certificate, key, "server");
    ASSERT_EQ(second.Error, "");
    EXPECT_FALSE(second.Created);
    EXPECT_EQ(CertificateFingerprint(second.Identity.CertificatePem),
              CertificateFingerprint(first.Identity.CertificatePem));
}

TEST(Identity, AHalfOrMismatchedPairIsRefusedNotReplaced) {
    QTemporaryDir folder;
    std::string certificate = folder.filePath("c.pem").toStdString();
    std::string key = folder.filePath("k.pem").toStdString();
    std::ofstream(key) << MakeIdentity("x").KeyPem;
    TIdentityResult lone = LoadOrMakeIdentity(certificate, key, "server");
    EXPECT_NE(lone.Error.find("missing"), std::string::npos) << lone.Error;
    std::ofstream(certificate) << MakeIdentity("y").CertificatePem;
    TIdentityResult mismatched = LoadOrMakeIdentity(certificate, key, "server");
    EXPECT_NE(mismatched.Error.find("does not belong"), std::string::npos) << mismatched.Error;
    std::ofstream(certificate) << "garbage";
    EXPECT_NE(LoadIdentity(certificate, key).Error.find("no PEM certificate"), std::string::npos);
}

} // namespace
