#include "util/Digest.h"

#include <memory>
#include <stdexcept>

#include <openssl/evp.h>

#include "util/Hex.h"

namespace util {

namespace {

struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

std::string digest(const EVP_MD* type, std::string_view data) {
    const std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), type, nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), data.data(), data.size()) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), out, &size) != 1) {
        throw std::runtime_error("libcrypto digest failed");
    }
    return std::string(reinterpret_cast<const char*>(out), size);
}

} // namespace

std::string md5(std::string_view data) {
    return digest(EVP_md5(), data);
}

std::string md5Hex(std::string_view data) {
    return bytesToHex(md5(data));
}

std::string sha1(std::string_view data) {
    return digest(EVP_sha1(), data);
}

} // namespace util
