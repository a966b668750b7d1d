// Writes the seed databases of the database fuzz targets into the folder given.
#include "fuzzdatabase.h"

#include <QDir>
#include <cstdio>
#include <stdexcept>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s folder\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    try {
        if (!QDir().mkpath(folder))
            throw std::runtime_error("cannot make the folder");
        for (int variant = 0; variant < quill::fuzz::kFuzzDatabaseVariants; ++variant)
            quill::fuzz::makeFuzzDatabase(QDir(folder).filePath(QStringLiteral("seed%1.nsf").arg(variant)), variant);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
