// A stand-in ODBC driver for a database system that Tarvel does not know: it
// takes every connection and names its system as another product's driver
// would: "Microsoft SQL Server", or what TARVEL_STANDIN_DBMS says. Everything
// else it refuses. The connection string it receives goes into the file
// TARVEL_STANDIN_RECORD names. Written without the ODBC headers, so that the functions
// Qt's driver only asks to be there need no parameters.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {

enum { Success = 0, Refused = -1, NoData = 100, DbmsName = 17, DbmsVersion = 18, DriverOdbcVersion = 77 };

short SQLAllocHandle(short type, void *input, void **output)
{
    static intptr_t next = 0x1000;
    (void)type, (void)input;
    *output = reinterpret_cast<void *>(next += 16);
    return Success;
}

short SQLGetInfo(void *connection, unsigned short type, void *value, short max, short *length)
{
    const char *name = std::getenv("TARVEL_STANDIN_DBMS");
    const char *text = type == DbmsName ? (name ? name : "Microsoft SQL Server")
                       : type == DbmsVersion ? "16.00.1000" : type == DriverOdbcVersion ? "03.80" : nullptr;
    (void)connection;
    if (!text)
        return Refused;
    std::strncpy(static_cast<char *>(value), text, std::size_t(max));
    if (length)
        *length = short(std::strlen(text));
    return Success;
}

short SQLDriverConnect(void *c, void *w, char *in, short inLength, char *out, short outMax, short *outLength,
                       unsigned short completion)
{
    (void)c, (void)w, (void)completion;
    if (const char *record = std::getenv("TARVEL_STANDIN_RECORD")) {
        if (std::FILE *file = std::fopen(record, "wb")) {
            std::fwrite(in, 1, inLength < 0 ? std::strlen(in) : strnlen(in, std::size_t(inLength)), file);
            std::fclose(file);
        }
    }
    if (out && outMax > 0)
        out[0] = 0;
    if (outLength)
        *outLength = 0;
    return Success;
}

#define TAKEN(name) short name(void) { return Success; }
#define REFUSED(name) short name(void) { return Refused; }
TAKEN(SQLFreeHandle)
TAKEN(SQLSetEnvAttr)
TAKEN(SQLSetConnectAttr)
TAKEN(SQLDisconnect)
short SQLGetDiagRec(void) { return NoData; }
// What Qt's driver asks to be there.
REFUSED(SQLExecDirect)
REFUSED(SQLDescribeCol)
REFUSED(SQLGetData)
REFUSED(SQLColumns)
REFUSED(SQLGetStmtAttr)
REFUSED(SQLTables)
REFUSED(SQLNumResultCols)
REFUSED(SQLRowCount)

} // extern "C"
