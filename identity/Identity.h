#pragma once

#include <cstddef>
#include <string>

// A TLS identity: a certificate and its private key, both PEM. The server
// makes one for itself on first start, and every client makes one for the
// player, who is then known by its fingerprint instead of a password.
struct TIdentity {
    std::string CertificatePem;
    std::string KeyPem;
};

// A new self-signed identity: an EC P-256 key and an X.509 certificate for
// commonName, valid from now for twenty years. Empty on failure.
TIdentity MakeIdentity(const std::string& commonName);

// The SHA-256 of the certificate's DER form as 64 lowercase hex digits; this
// is what names a player or a server. Empty when the PEM holds no certificate.
std::string CertificateFingerprint(const std::string& certificatePem);

// The same from the certificate's DER bytes, as TLS hands them over.
std::string DerFingerprint(const unsigned char* der, size_t size);

// The fingerprint written for people to compare: "AB:CD:…" in pairs.
std::string DisplayFingerprint(const std::string& fingerprint);

// Reads the identity kept in certificateFile and keyFile, or makes one and
// writes both when neither exists yet (the key readable by its owner only).
// Refuses a pair of which only one file exists or whose key does not belong
// to its certificate, rather than replacing what a person may want to keep.
struct TIdentityResult {
    TIdentity Identity;
    bool Created = false;
    std::string Error; // empty on success
};
TIdentityResult LoadOrMakeIdentity(const std::string& certificateFile, const std::string& keyFile,
                                   const std::string& commonName);

// Reads an existing pair, checking that the key belongs to the certificate.
TIdentityResult LoadIdentity(const std::string& certificateFile, const std::string& keyFile);
