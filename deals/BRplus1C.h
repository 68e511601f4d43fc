/*
 * BRplus1C.h - the interface between Brontal and its accounting plug-in.
 *
 * A plug-in is a shared library named libBRplus1C.so, placed in Brontal's
 * program folder. The deal card loads it when one of its document buttons or
 * the money check is first used and unloads it when the card closes. All four
 * functions below must be exported (plain C names, the platform's default C
 * calling convention); a library that lacks one of them is refused.
 *
 * Strings
 *   - Every string is NUL-terminated text in code page Windows-1251.
 *   - A string holds at most BR1C_MAX_TEXT (255) bytes before its NUL.
 *   - Dates are "dd.mm.yyyy" (day, month and year with leading zeros).
 *   - Document kinds: 1 invoice, 2 waybill (retail waybill for AddDoc),
 *     3 invoice-facture.
 *
 * Buffers
 *   - Arguments of type const char* belong to Brontal and are valid only
 *     during the call; copy what you keep.
 *   - A result buffer (char* result) belongs to Brontal: it is BR1C_BUFFER_SIZE
 *     bytes, filled with NULs before the call. Write at most BR1C_MAX_TEXT
 *     bytes and a terminating NUL into it; never free or keep it. A result
 *     that breaks this is refused, and nothing of it is used.
 *   - Brontal never frees anything the plug-in allocates.
 *
 * Document numbers
 *   A number written into a result is text of code page 1251 without control
 *   characters (below 0x20, 0x7F) and without the byte 0x98, which the code
 *   page lacks, and not blanks alone; any other result is refused, and nothing
 *   of it is stored.
 *
 * Exchange folder
 *   Both exchange files live in the temporary folder: the value of the
 *   environment variable TMPDIR when it is set and not empty, else "/tmp".
 *   - BR1C_DOC_FILE is written by Brontal (created or overwritten) just before
 *     AddDoc is called. Brontal removes it before DocByDoc is called.
 *   - BR1C_MONEY_FILE is written by the plug-in during MoneyDoc. Brontal
 *     removes it before the call; a non-zero result without the file is taken
 *     as "not available".
 *   Both are text in code page Windows-1251 with lines ended by CR LF.
 *   Numbers in them have a full stop as the decimal point, no thousands
 *   separators and no trailing zeros ("1", "2.5", "1234.75").
 *
 * BR1C.TXT (document to create): line 1 the document date; line 2 the rate;
 *   line 3 the client's company name; then three lines per goods line: the
 *   goods name, the quantity, the sum in the first currency.
 *
 * MONEY1C.txt (payments received): a sequence of three-line groups, one per
 *   received payment: the sum in the first currency; the payment date; the
 *   rate. Sums and rates are above zero, with at most four decimals. An empty
 *   file means nothing was received.
 */
#ifndef BRPLUS1C_H
#define BRPLUS1C_H

#define BR1C_LIBRARY "libBRplus1C.so"
#define BR1C_DOC_FILE "BR1C.TXT"
#define BR1C_MONEY_FILE "MONEY1C.txt"

/* Put before each of the four definitions so they are exported even when the
   library is compiled with hidden visibility. */
#define BR1C_EXPORT __attribute__((visibility("default")))

#define BR1C_MAX_TEXT 255
#define BR1C_BUFFER_SIZE (BR1C_MAX_TEXT + 1)

#ifdef __cplusplus
extern "C" {
#endif

/* Creates a document from BR1C_DOC_FILE; kind 1 invoice, 2 retail waybill.
   Writes the new document's number into result; "0" (or nothing) when no
   document was created. */
typedef void (*BR1C_AddDoc)(int kind, char* result);

/* Shows the existing document of that number, kind (1, 2 or 3) and date. */
typedef void (*BR1C_OpenDocWindow)(const char* number, int kind, const char* date);

/* Creates a document from another one: kind 1 a waybill from the invoice
   numbered number, kind 2 an invoice-facture from the waybill numbered number;
   date is the source document's date. Writes the new number into result;
   nothing or "0" when no document was created. */
typedef void (*BR1C_DocByDoc)(const char* number, int kind, const char* date, char* result);

/* Writes BR1C_MONEY_FILE with the payments received against the invoice of
   that number and date (kind is always 1; reserved is always ""). Returns
   non-zero when the file was written, 0 when the information is not
   available. */
typedef int (*BR1C_MoneyDoc)(const char* number, int kind, const char* date, const char* reserved);

#ifdef __cplusplus
}
#endif

#endif /* BRPLUS1C_H */
