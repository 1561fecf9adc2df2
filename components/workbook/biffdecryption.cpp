// Workbooks whose structure or windows are protected are stored encrypted
// with the spreadsheet program's built-in password, which the program uses
// without asking. The stream is decrypted here with that password, by the
// RC4 schemes the .xls format knows; any other password stays refused.
#include "biffrecords.h"

#include <QCryptographicHash>

#include <nettle/arcfour.h>

#include <algorithm>
#include <array>
#include <optional>

namespace workbook {

namespace {

constexpr qsizetype kBlockSize = 1024; // the key changes every 1024 bytes of the stream

QByteArray littleEndian32(quint32 value)
{
    const char bytes[4] = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
    return QByteArray(bytes, 4);
}

QByteArray defaultPassword()
{
    QByteArray utf16le;
    for (char ch : QByteArrayView("VelvetSweatshop"))
        utf16le.append(ch).append('\0');
    return utf16le;
}

// RC4 with 40-bit MD5 keys (version 1.1) or CryptoAPI RC4 with SHA-1 keys.
class BlockKeys
{
public:
    static BlockKeys rc4(QByteArrayView salt)
    {
        const QByteArray h0 = QCryptographicHash::hash(defaultPassword(), QCryptographicHash::Md5).left(5);
        return BlockKeys(QCryptographicHash::Md5,
                         QCryptographicHash::hash((h0 + salt.toByteArray()).repeated(16), QCryptographicHash::Md5).left(5),
                         16);
    }
    static BlockKeys cryptoApi(QByteArrayView salt, quint32 keyBits)
    {
        if (keyBits == 0)
            keyBits = 40;
        if (keyBits % 8 != 0 || keyBits < 40 || keyBits > 128)
            refusePassword();
        return BlockKeys(QCryptographicHash::Sha1,
                         QCryptographicHash::hash(salt.toByteArray() + defaultPassword(), QCryptographicHash::Sha1),
                         int(keyBits / 8));
    }

    QByteArray key(quint32 block) const
    {
        QByteArray key = hash(m_base + littleEndian32(block)).left(m_keyBytes);
        if (m_keyBytes == 5 && m_algorithm == QCryptographicHash::Sha1)
            key.append(11, '\0'); // 40-bit CryptoAPI keys are used as 128-bit keys
        return key;
    }
    QByteArray hash(QByteArrayView data) const { return QCryptographicHash::hash(data, m_algorithm); }

private:
    BlockKeys(QCryptographicHash::Algorithm algorithm, QByteArray base, int keyBytes)
        : m_algorithm(algorithm)
        , m_base(std::move(base))
        , m_keyBytes(keyBytes)
    {
    }

    QCryptographicHash::Algorithm m_algorithm;
    QByteArray m_base;
    int m_keyBytes;
};

void rc4Crypt(const QByteArray &key, QByteArray &data)
{
    arcfour_ctx ctx;
    arcfour_set_key(&ctx, size_t(key.size()), reinterpret_cast<const uint8_t *>(key.constData()));
    arcfour_crypt(&ctx, size_t(data.size()), reinterpret_cast<uint8_t *>(data.data()),
                  reinterpret_cast<const uint8_t *>(data.constData()));
}

// The keys of the default password, after checking them against the FILEPASS
// record's verifier; a workbook with another password is refused.
BlockKeys defaultPasswordKeys(QByteArrayView filePass)
{
    if (filePass.size() < 6 || le16(filePass, 0) != 1)
        refusePassword(); // XOR obfuscation: the format of Excel 95 and older
    const quint16 major = le16(filePass, 2);
    const quint16 minor = le16(filePass, 4);
    std::optional<BlockKeys> keys;
    QByteArray verifier;
    QByteArray verifierHash;
    if (major == 1 && minor == 1 && filePass.size() >= 54) {
        keys = BlockKeys::rc4(filePass.sliced(6, 16));
        verifier = filePass.sliced(22, 16).toByteArray();
        verifierHash = filePass.sliced(38, 16).toByteArray();
    } else if (major >= 2 && major <= 4 && minor == 2 && filePass.size() >= 14) {
        // Flags, header size, the header (key size at 16), then salt and verifier.
        const quint32 headerSize = le32(filePass, 10);
        const qsizetype verifierAt = 14 + qsizetype(headerSize);
        if (headerSize < 20 || headerSize > 1024 || filePass.size() < verifierAt + 60)
            refuseDamaged(QStringLiteral("Verschlüsselungsangaben"));
        keys = BlockKeys::cryptoApi(filePass.sliced(verifierAt + 4, 16), le32(filePass, 14 + 16));
        verifier = filePass.sliced(verifierAt + 20, 16).toByteArray();
        verifierHash = filePass.sliced(verifierAt + 40, 20).toByteArray();
    } else {
        refusePassword();
    }
    // Verifier and its hash are one stream under the key of block 0.
    QByteArray both = verifier + verifierHash;
    rc4Crypt(keys->key(0), both);
    if (keys->hash(both.first(16)) != both.sliced(16, verifierHash.size()))
        refusePassword();
    return *keys;
}

// Records whose bodies stay plain in an encrypted stream.
bool staysPlain(quint16 type)
{
    static constexpr std::array<quint16, 7> kinds{RecordType::Bof, RecordType::FilePass, 0x0194, 0x0195, 0x00E1, 0x0196, 0x0138};
    return std::find(kinds.begin(), kinds.end(), type) != kinds.end();
}

} // namespace

void decryptWithDefaultPassword(QByteArray &stream)
{
    // FILEPASS stands in the workbook globals, before their EOF.
    qsizetype pos = 0;
    QByteArrayView filePass;
    while (filePass.isNull()) {
        if (pos + 4 > stream.size())
            return; // damaged: the reader says so
        const quint16 type = le16(stream, pos);
        const qsizetype length = le16(stream, pos + 2);
        if (type == RecordType::Eof || pos + 4 + length > stream.size())
            return;
        if (type == RecordType::FilePass)
            filePass = QByteArrayView(stream).sliced(pos + 4, length);
        pos += 4 + length;
    }
    const BlockKeys keys = defaultPasswordKeys(filePass);

    // Record headers stay plain, yet the key stream runs on under them: byte
    // p of the stream is encrypted with byte p % 1024 of block p / 1024's stream.
    QByteArray keyStream;
    qint64 keyBlock = -1;
    char *data = stream.data();
    while (pos + 4 <= stream.size()) {
        const quint16 type = le16(stream, pos);
        const qsizetype end = std::min(pos + 4 + le16(stream, pos + 2), stream.size());
        qsizetype at = pos + 4 + (type == RecordType::BoundSheet ? 4 : 0); // the sheet's stream position stays plain
        if (staysPlain(type))
            at = end;
        for (; at < end; ++at) {
            if (at / kBlockSize != keyBlock) {
                keyBlock = at / kBlockSize;
                keyStream = QByteArray(kBlockSize, '\0');
                rc4Crypt(keys.key(quint32(keyBlock)), keyStream);
            }
            data[at] = char(data[at] ^ keyStream[at % kBlockSize]);
        }
        pos = end;
    }
}

} // namespace workbook
