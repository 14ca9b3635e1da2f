#include "identity/Identity.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

template <auto Free> struct TFreeWith {
    template <typename T> void operator()(T* p) const { Free(p); }
};
using TKey = std::unique_ptr<EVP_PKEY, TFreeWith<EVP_PKEY_free>>;
using TCertificate = std::unique_ptr<X509, TFreeWith<X509_free>>;
using TBio = std::unique_ptr<BIO, TFreeWith<BIO_free_all>>;

constexpr long ValidDays = 20 * 365;
// A PEM certificate or key is a few hundred bytes; anything far larger in
// their place is not ours.
constexpr off_t MaxFileBytes = 64 * 1024;

std::string BioText(BIO* bio) {
    char* data = nullptr;
    long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, size_t(size)) : std::string();
}

TCertificate ReadCertificate(const std::string& pem) {
    TBio bio(BIO_new_mem_buf(pem.data(), int(pem.size())));
    if (!bio) return nullptr;
    return TCertificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

TKey ReadKey(const std::string& pem) {
    TBio bio(BIO_new_mem_buf(pem.data(), int(pem.size())));
    if (!bio) return nullptr;
    return TKey(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

bool ReadFile(const std::string& path, std::string& text, std::string& error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > MaxFileBytes) {
        ::close(fd);
        error = path + " is not a certificate or key file";
        return false;
    }
    text.resize(size_t(info.st_size));
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::read(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            ::close(fd);
            error = "cannot read " + path;
            return false;
        }
        done += size_t(n);
    }
    ::close(fd);
    return true;
}

// Written beside its final name and renamed over it, so that a crash never
// leaves half a key behind.
bool WriteFile(const std::string& path, const std::string& text, mode_t mode, std::string& error) {
    std::string temporary = path + ".new";
    ::unlink(temporary.c_str());
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    bool ok = ::fchmod(fd, mode) == 0;
    while (ok && done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        ok = n > 0;
        done += ok ? size_t(n) : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

TIdentity MakeIdentity(const std::string& commonName) {
    TKey key(EVP_EC_gen("P-256"));
    TCertificate certificate(X509_new());
    if (!key || !certificate) return {};
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1) return {};
    serial[0] &= 0x7f; // a positive serial number
    std::unique_ptr<BIGNUM, TFreeWith<BN_free>> number(BN_bin2bn(serial, sizeof serial, nullptr));
    X509_NAME* name = X509_get_subject_name(certificate.get());
    bool ok = number && X509_set_version(certificate.get(), X509_VERSION_3) == 1 &&
              BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(certificate.get())) &&
              X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0) &&
              X509_time_adj_ex(X509_getm_notAfter(certificate.get()), ValidDays, 0, nullptr) &&
              X509_set_pubkey(certificate.get(), key.get()) == 1 &&
              X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                         reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                                         0) == 1 &&
              X509_set_issuer_name(certificate.get(), name) == 1 &&
              X509_sign(certificate.get(), key.get(), EVP_sha256()) > 0;
    if (!ok) return {};

    TBio certificateText(BIO_new(BIO_s_mem()));
    TBio keyText(BIO_new(BIO_s_mem()));
    if (!certificateText || !keyText || PEM_write_bio_X509(certificateText.get(), certificate.get()) != 1 ||
        PEM_write_bio_PrivateKey(keyText.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return {};
    return {BioText(certificateText.get()), BioText(keyText.get())};
}

std::string DerFingerprint(const unsigned char* der, size_t size) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestSize = 0;
    if (der == nullptr || size == 0 || EVP_Digest(der, size, digest, &digestSize, EVP_sha256(), nullptr) != 1)
        return {};
    static const char Hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < digestSize; ++i) {
        text += Hex[digest[i] >> 4];
        text += Hex[digest[i] & 15];
    }
    return text;
}

std::string CertificateFingerprint(const std::string& certificatePem) {
    TCertificate certificate = ReadCertificate(certificatePem);
    if (!certificate) return {};
    unsigned char* der = nullptr;
    int size = i2d_X509(certificate.get(), &der);
    if (size <= 0) return {};
    std::string fingerprint = DerFingerprint(der, size_t(size));
    OPENSSL_free(der);
    return fingerprint;
}

std::string DisplayFingerprint(const std::string& fingerprint) {
    std::string text;
    for (size_t i = 0; i < fingerprint.size(); ++i) {
        if (i > 0 && i % 2 == 0) text += ':';
        char c = fingerprint[i];
        text += (c >= 'a' && c <= 'f') ? char(c - 'a' + 'A') : c;
    }
    return text;
}

TIdentityResult LoadIdentity(const std::string& certificateFile, const std::string& keyFile) {
    TIdentityResult result;
    if (!ReadFile(certificateFile, result.Identity.CertificatePem, result.Error) ||
        !ReadFile(keyFile, result.Identity.KeyPem, result.Error))
        return result;
    TCertificate certificate = ReadCertificate(result.Identity.CertificatePem);
    TKey key = ReadKey(result.Identity.KeyPem);
    if (!certificate)
        result.Error = certificateFile + " holds no PEM certificate";
    else if (!key)
        result.Error = keyFile + " holds no PEM private key";
    else if (X509_check_private_key(certificate.get(), key.get()) != 1)
        result.Error = "the key in " + keyFile + " does not belong to the certificate in " + certificateFile;
    return result;
}

TIdentityResult LoadOrMakeIdentity(const std::string& certificateFile, const std::string& keyFile,
                                   const std::string& commonName) {
    bool haveCertificate = Exists(certificateFile);
    bool haveKey = Exists(keyFile);
    if (haveCertificate || haveKey) {
        if (!haveCertificate || !haveKey) {
            TIdentityResult result;
            result.Error = (haveCertificate ? keyFile : certificateFile) + " is missing beside " +
                           (haveCertificate ? certificateFile : keyFile) + "; restore it or remove both";
            return result;
        }
        return LoadIdentity(certificateFile, keyFile);
    }
    TIdentityResult result;
    result.Identity = MakeIdentity(commonName);
    if (result.Identity.CertificatePem.empty()) {
        result.Error = "could not make a certificate";
        return result;
    }
    // Should the certificate fail to be written, the key goes too, so that the
    // next start makes both afresh instead of refusing a lone key.
    if (WriteFile(keyFile, result.Identity.KeyPem, 0600, result.Error) &&
        WriteFile(certificateFile, result.Identity.CertificatePem, 0644, result.Error))
        result.Created = true;
    else
        ::unlink(keyFile.c_str());
    return result;
}
