#pragma once

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <string>

namespace bridge::testing {

// A self-signed certificate made for a test, with its key, both in PEM.
struct Certificate {
    std::string certificatePem;
    std::string keyPem;
};

// Valid from `validFrom` to `validUntil` seconds from now, for the given subjectAltName
// ("DNS:localhost,IP:127.0.0.1").
inline Certificate makeCertificate(const std::string& subjectAltName, long validFrom = -60,
                                   long validUntil = 3600) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), validFrom);
    X509_gmtime_adj(X509_getm_notAfter(cert), validUntil);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Bridge test"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* san =
        X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, subjectAltName.c_str());
    X509_add_ext(cert, san, -1);
    X509_EXTENSION_free(san);
    X509_sign(cert, key, EVP_sha256());

    auto pem = [](auto write) {
        BIO* bio = BIO_new(BIO_s_mem());
        write(bio);
        char* data = nullptr;
        const long length = BIO_get_mem_data(bio, &data);
        std::string text(data, static_cast<std::size_t>(length));
        BIO_free(bio);
        return text;
    };
    Certificate made{pem([&](BIO* bio) { PEM_write_bio_X509(bio, cert); }), pem([&](BIO* bio) {
                         PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
                     })};
    X509_free(cert);
    EVP_PKEY_free(key);
    return made;
}

} // namespace bridge::testing
