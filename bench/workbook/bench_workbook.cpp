// Writes 65,535 rows x 20 columns of text through the six operations and saves, as .xls or .xlsx; reports cells
// per second and peak memory. The same cells are written by bench_xlwt.py and bench_writeexcel.pl (.xls) and by
// bench_xlsx_peers.py (openpyxl and XlsxWriter, .xlsx) for comparison.
#include "workbook/excel.h"

#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <string_view>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {
constexpr int kRows = 65535;
constexpr int kColumns = 20;

// Half the cells unique (Chinese and ASCII), the other half drawn from a few repeated texts.
QString cellText(long k)
{
    if (k % 2 == 0)
        return u"记录%1号 record-%1"_s.arg(k);
    if ((k / 2) % 2 == 0)
        return u"status-%1"_s.arg(k % 97);
    return u"状态%1"_s.arg(k % 89);
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: bench_workbook <output> [xls|xlsx]\n");
        return 2;
    }
    const bool xlsx = argc == 3 && std::string_view(argv[2]) == "xlsx";
    const char* what = xlsx ? "xlsx workbook" : "workbook";
    try {
        QElapsedTimer timer;
        timer.start();
        auto excel = xlsx ? quill::workbook::createXlsxWriter() : quill::workbook::createXlsWriter();
        excel->StartExcel();
        for (int r = 1; r <= kRows; ++r)
            for (int c = 1; c <= kColumns; ++c)
                excel->SetCellValue(r, c, cellText(long(r - 1) * kColumns + (c - 1)));
        const double written = double(timer.nsecsElapsed()) / 1e9;
        excel->SaveWorkbook(QString::fromLocal8Bit(argv[1]));
        excel->QuitExcel();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double cells = double(kRows) * kColumns;
        std::printf("quill_workbook (%s): %.0f cells in %.3f s (%.3f s writing, %.3f s saving): %.0f cells/s, "
                    "peak memory %ld KiB\n",
                    what, cells, seconds, written, seconds - written, cells / seconds, usage.ru_maxrss);
        std::printf("figure\tQuillmere\t%s of 65,535 x 20 text cells: seconds\t%.2f\n", what, seconds);
        std::printf("figure\tQuillmere\t%s: cells per second\t%.0f\n", what, cells / seconds);
        std::printf("figure\tQuillmere\t%s: peak memory, MiB\t%.0f\n", what, usage.ru_maxrss / 1024.0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_workbook: %s\n", e.what());
        return 1;
    }
    return 0;
}
