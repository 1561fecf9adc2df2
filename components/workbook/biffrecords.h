#pragma once

#include "sheetreaders.h"

// The record layer of .xls workbook streams (BIFF8): records, the CONTINUE
// records that carry on a long one, the text and number encodings inside them.
namespace workbook {

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
    quint8 byte();
    quint16 word();
    quint32 dword();
    void skip(quint64 count);
    // XLUnicodeString (16-bit count) or ShortXLUnicodeString (8-bit count).
    QString unicodeString(bool shortCount = false);
    // Passes over an XLUnicodeString without decoding it.
    void skipUnicodeString();

private:
    // Moves on to the next CONTINUE record's body; false after the last.
    bool nextSegment();
    // Reads `count` characters into `text`, or passes over them when it is null.
    void characters(quint32 count, bool wide, QString *text);
    void unicodeString(bool shortCount, QString *text);

    QByteArrayView m_segment; // the body read now
    QByteArrayView m_rest;    // the CONTINUE records after it
    qsizetype m_pos = 0;
};

// Refuses a record whose body is shorter than `size`.
void need(const BiffRecord &record, qsizetype size);
// An IEEE double stored little-endian.
double f64(QByteArrayView bytes, qsizetype at);
// A number in the RK encoding (a 30-bit integer or the top of a double,
// either of them maybe in hundredths).
double rkValue(quint32 rk);

} // namespace workbook
