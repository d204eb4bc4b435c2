// MD5 digests (RFC 1321) over buffers and files.
#pragma once

#include "kaldorn/base.h"

#pragma pack(push, 1)
// Running state of one digest.
struct tagCONTEXT_MD5 {
    unsigned int dwBitCount[2];  /*!< message bits processed mod 2^64, low word first */
    unsigned char uchDigest[16]; /*!< the finished digest, written by FinalMD5 */
    unsigned char uchBuffer[64]; /*!< input bytes not yet processed */
    unsigned int dwState[4];     /*!< chaining values A, B, C, D */
};
#pragma pack(pop)
static_assert(sizeof(tagCONTEXT_MD5) == 104, "MD5 context is 104 bytes");
static_assert(offsetof(tagCONTEXT_MD5, uchDigest) == 8, "digest follows the bit count");
static_assert(offsetof(tagCONTEXT_MD5, uchBuffer) == 24, "input buffer follows the digest");
static_assert(offsetof(tagCONTEXT_MD5, dwState) == 88, "chaining values close the context");

// 0x80 followed by 63 zero bytes: the final padding.
KALDORN_EXPORT extern const unsigned char g_uchPadding[64];

// Every operation returns 1 on success and 0 on failure; a null pointer is a
// failure that writes nothing. The steps call one another through the
// virtual table, so a derived class may replace any of them.
class KALDORN_EXPORT IMd5 {
public:
    virtual int CalculateMD5(const unsigned char* buf, unsigned int len, unsigned char* digest) = 0;
    virtual int CalculateMD5(const char* path, unsigned char* digest) = 0;
    virtual int ValidateMD5(const unsigned char* buf, unsigned int len, const unsigned char* expected,
                            int* match) = 0;
    virtual int ValidateMD5(const char* path, const unsigned char* expected, int* match) = 0;
    virtual int InitMD5(tagCONTEXT_MD5* ctx) = 0;
    virtual int UpdateMD5(tagCONTEXT_MD5* ctx, const unsigned char* in, unsigned int len) = 0;
    virtual int FinalMD5(tagCONTEXT_MD5* ctx) = 0;
    // Note the order: the 16 block words first, the 4 chaining values second.
    virtual int TransformMD5(unsigned int* words, unsigned int* state) = 0;
};

class KALDORN_EXPORT CMd5 : public IMd5 {
public:
    CMd5();
    // Digest of len bytes into digest[16].
    int CalculateMD5(const unsigned char* buf, unsigned int len, unsigned char* digest) override;
    // Digest of a whole file; 0 if it does not open or a read fails (digest untouched).
    int CalculateMD5(const char* path, unsigned char* digest) override;
    // 1 once the digest is computed; *match is 1 when all 16 bytes equal expected.
    int ValidateMD5(const unsigned char* buf, unsigned int len, const unsigned char* expected,
                    int* match) override;
    int ValidateMD5(const char* path, const unsigned char* expected, int* match) override;
    // Bit count 0, chaining values to the RFC 1321 initial values.
    int InitMD5(tagCONTEXT_MD5* ctx) override;
    int UpdateMD5(tagCONTEXT_MD5* ctx, const unsigned char* in, unsigned int len) override;
    // Pads, processes the last block(s) and writes uchDigest.
    int FinalMD5(tagCONTEXT_MD5* ctx) override;
    int TransformMD5(unsigned int* words, unsigned int* state) override;
};

// Creates a local CMd5 and returns its file CalculateMD5 result.
KALDORN_EXPORT int CalculateMD5WrapperA(const char* path, unsigned char* digest);
