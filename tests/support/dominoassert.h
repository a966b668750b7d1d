#pragma once

#include "domino/error.h"

#include <QTest>

// Checks that expression throws DominoError with a message containing fragment.
#define QVERIFY_DOMINO_ERROR(expression, fragment)                                                                     \
    do {                                                                                                               \
        try {                                                                                                          \
            expression;                                                                                                \
            QFAIL("no DominoError from " #expression);                                                                 \
        } catch (const quill::domino::DominoError& e) {                                                                \
            if (!e.message().contains(fragment))                                                                       \
                QFAIL(qPrintable(QStringLiteral("unexpected message: ") + e.message()));                               \
        }                                                                                                              \
    } while (false)
