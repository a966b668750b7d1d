// quillmere-export: exports views of Domino databases into Excel workbooks without the window.

#include "cli/batchcommand.h"
#include "cli/commandline.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const quill::cli::CommandLine line = quill::cli::parseCommandLine(QCoreApplication::arguments());
    if (!line.options) {
        const bool ok = line.exitStatus == quill::cli::kExitExported;
        const QByteArray text =
            ((ok ? QString() : QStringLiteral("quillmere-export: ")) + line.text + QLatin1Char('\n')).toUtf8();
        std::fputs(text.constData(), ok ? stdout : stderr);
        if (!ok)
            std::fputs("（用法请查看 quillmere-export --help）\n", stderr);
        return line.exitStatus;
    }
    return quill::cli::BatchCommand(*line.options).run();
}
