#pragma once

#include "sheetreaders.h"

// The record layer of .xls workbook streams (BIFF8): records, the CONTINUE
// records that carry on a long one, the text and number encodings inside them.
namespace workbook {

// The record types the reader looks at.
namespace RecordType {
constexpr quint16 Formula = 0x0006;
constexpr quint16 FormulaBiff3 = 0x0206; // older kinds, still written by some producers
constexpr quint16 FormulaBiff4 = 0x0406;
constexpr quint16 Eof = 0x000A;
constexpr quint16 DateMode = 0x0022;
constexpr quint16 FilePass = 0x002F;
constexpr quint16 BoundSheet = 0x0085;
constexpr quint16 MulRk = 0x00BD;
constexpr quint16 Sst = 0x00FC;
constexpr quint16 LabelSst = 0x00FD;
constexpr quint16 RString = 0x00D6;
constexpr quint16 Xf = 0x00E0;
constexpr quint16 Number = 0x0203;
constexpr quint16 Label = 0x0204;
constexpr quint16 BoolErr = 0x0205;
constexpr quint16 String = 0x0207;
constexpr quint16 Array = 0x0221;
constexpr quint16 Table = 0x0236;
constexpr quint16 Rk = 0x027E;
constexpr quint16 Format = 0x041E;
constexpr quint16 ShrFmla = 0x04BC;
constexpr quint16 Bof = 0x0809;
} // namespace RecordType

struct BiffRecord
{
    quint16 type = 0;
    QByteArrayView body;
    // The CONTINUE records that follow, headers included: held as one view,
    // so that a flood of them costs no memory.
    QByteArrayView continues;
};

// The records of a stream from an offset on; refuses a record cut short.
class BiffRecordStream
{
public:
    BiffRecordStream(QByteArrayView data, qsizetype start);
    // The next record with its CONTINUE records.
    BiffRecord next();

private:
    BiffRecord readOne();
    int peekType() const;

    QByteArrayView m_data;
    qsizetype m_pos;
};

// Reads across a record and its CONTINUE records. Character data split at a
// record boundary goes on with a fresh flags byte (compressed or UTF-16).
class ContinuedReader
{
public:
    explicit ContinuedReader(const BiffRecord &record, qsizetype start = 0);

    bool atEnd();
    // An XLUnicodeString: a 16-bit count of characters, flags, the characters.
    QString unicodeString();
    // Passes over an XLUnicodeString without decoding it.
    void skipUnicodeString();

private:
    quint8 byte();
    quint16 word();
    quint32 dword();
    void skip(quint64 count);
    // Moves on to the next CONTINUE record's body; false after the last.
    bool nextSegment();
    // Reads `count` characters into `text`, or passes over them when it is null.
    void characters(quint32 count, bool wide, QString *text);
    void unicodeString(QString *text);

    QByteArrayView m_segment; // the body read now
    QByteArrayView m_rest;    // the CONTINUE records after it
    qsizetype m_pos = 0;
};

// Refuses a workbook written by Excel 5.0/95 or older.
[[noreturn]] void refuseOldFormat();
// Refuses a substream that does not open with a BIFF8 BOF record.
void checkBof(const BiffRecord &record);
// Refuses a record whose body is shorter than `size`.
void need(const BiffRecord &record, qsizetype size);
// An IEEE double stored little-endian.
double f64(QByteArrayView bytes, qsizetype at);
// A number in the RK encoding (a 30-bit integer or the top of a double,
// either of them maybe in hundredths).
double rkValue(quint32 rk);

} // namespace workbook
