/* Writes the corpus table with libxlsxwriter: argv[1] = output, argv[2] = "constant"
 * for constant-memory mode (inline strings, rows written as they come). */
#include <string.h>
#include <xlsxwriter.h>

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    lxw_workbook_options options = {0};
    options.constant_memory = argc > 2 && strcmp(argv[2], "constant") == 0;
    lxw_workbook *wb = workbook_new_opt(argv[1], &options);
    lxw_worksheet *ws = workbook_add_worksheet(wb, "Tabelle1");
    workbook_add_worksheet(wb, "Zweites");

    lxw_format *date = workbook_add_format(wb);
    format_set_num_format_index(date, 14);
    lxw_format *stamp = workbook_add_format(wb);
    format_set_num_format(stamp, "dd.mm.yyyy hh:mm");
    lxw_format *text = workbook_add_format(wb);
    format_set_num_format(text, "@");

    const char *headings[] = {"Lfdnr", "Name", "Anteil", "Kennung", "Datum", "Zeitpunkt", "Aktiv", "Summe", "Bemerkung"};
    for (int c = 0; c < 9; ++c)
        worksheet_write_string(ws, 0, c, headings[c], NULL);

    lxw_datetime d1 = {2024, 3, 15, 0, 0, 0};
    lxw_datetime d2 = {2024, 3, 15, 10, 30, 0};
    lxw_datetime d3 = {1999, 12, 31, 0, 0, 0};

    worksheet_write_number(ws, 1, 0, 448, NULL);
    worksheet_write_string(ws, 1, 1, "Bayreuth-M\xC3\xBC" "nchberg", NULL);
    worksheet_write_number(ws, 1, 2, 2.5, NULL);
    worksheet_write_string(ws, 1, 3, "000123", text);
    worksheet_write_datetime(ws, 1, 4, &d1, date);
    worksheet_write_datetime(ws, 1, 5, &d2, stamp);
    worksheet_write_boolean(ws, 1, 6, 1, NULL);
    worksheet_write_formula_num(ws, 1, 7, "=A2+A3", NULL, 460);
    worksheet_write_string(ws, 1, 8, "Ende", NULL);

    worksheet_write_number(ws, 2, 0, 12, NULL);
    worksheet_write_string(ws, 2, 1, "  mit Blanks  ", NULL);
    worksheet_write_number(ws, 2, 2, 54.2, NULL);
    /* D3 and F3 stay empty: a gap in the middle of the row */
    worksheet_write_datetime(ws, 2, 4, &d3, date);
    worksheet_write_boolean(ws, 2, 6, 0, NULL);
    worksheet_write_formula_num(ws, 2, 7, "=C2*2", NULL, 5);
    worksheet_write_string(ws, 2, 8, "Stra\xC3\x9F" "e", NULL);

    worksheet_write_number(ws, 3, 0, -3, NULL);
    worksheet_write_string(ws, 3, 1, "\xC3\x84 \xC3\x96 \xC3\x9C \xE2\x82\xAC", NULL);
    worksheet_write_number(ws, 3, 2, -1.25, NULL);
    worksheet_write_number(ws, 3, 3, 1234567, NULL);
    worksheet_write_formula_str(ws, 3, 7, "=I2&\"!\"", NULL, "Ende!");

    return workbook_close(wb) == LXW_NO_ERROR ? 0 : 1;
}
