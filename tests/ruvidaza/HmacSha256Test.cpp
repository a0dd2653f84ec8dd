#include "HmacSha256.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <gtest/gtest.h>

namespace {

std::string hexOf(const std::string &raw)
{
    return QByteArray::fromStdString(raw).toHex().toStdString();
}

// FIPS 180-4 examples, and lengths around the 55/56/64-byte padding edges.
TEST(HmacSha256, Sha256KnownVectorsAndPaddingEdges)
{
    EXPECT_EQ(hexOf(HmacSha256::sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hexOf(HmacSha256::sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hexOf(HmacSha256::sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    for (size_t n : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
        const std::string data(n, char('a' + n % 26));
        EXPECT_EQ(HmacSha256::sha256(data),
                  QCryptographicHash::hash(QByteArray::fromStdString(data), QCryptographicHash::Sha256).toStdString())
            << n;
    }
}

// RFC 4231 test cases 1, 2 and 6 (key longer than the block), plus a check
// against Qt's HMAC for keys around the block size, as the switch verifies
// with Qt.
TEST(HmacSha256, HmacKnownVectorsAndAgreementWithTheSwitchSide)
{
    EXPECT_EQ(HmacSha256::hex(std::string(20, '\x0b'), "Hi There"),
              "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
    EXPECT_EQ(HmacSha256::hex("Jefe", "what do ya want for nothing?"),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    EXPECT_EQ(HmacSha256::hex(std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First"),
              "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
    for (size_t keyLength : {0u, 1u, 63u, 64u, 65u, 200u}) {
        const std::string key(keyLength, 'k');
        const std::string message = "nonce-" + std::to_string(keyLength);
        EXPECT_EQ(HmacSha256::hex(key, message),
                  QMessageAuthenticationCode::hash(QByteArray::fromStdString(message), QByteArray::fromStdString(key),
                                                   QCryptographicHash::Sha256)
                      .toHex()
                      .toStdString())
            << keyLength;
    }
}

} // namespace
