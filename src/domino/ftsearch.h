#pragma once

// Full-text search as every implementation of the Domino interfaces answers FTSearch: the text a document
// offers, the query language and when a document matches. An index only finds candidates faster; whether one
// matches is decided here, so that every implementation, indexed or not, gives the same documents.

#include "domino/value.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace quill::domino {

// A document's text as searches see it: each item's values as text (as a view column shows them: a list's
// elements joined by ", ", rich text its plain text), in item order, then each attachment's file name. Each part
// is folded (QString::toCaseFolded: a search ignores case as the component compares names) and the parts are
// joined by kSearchSeparator, so that no term is found across two of them; the separator or a NUL character inside
// a value counts as a space. Held as UTF-8, which searches compare byte for byte.
inline constexpr char16_t kSearchSeparator = u'\x1f';

QString foldForSearch(QStringView text);
// Null elements have no text and are left out.
QString searchItemText(const ValueList& values);
// The parts (not yet folded) as a document's text.
QByteArray searchText(const QStringList& parts);

// A query as FTSearch takes it: the subset of Domino's full-text query language below, parsed into a tree.
//
//   合同 北京          terms, every one must be found (a term is found anywhere in the text: 合同 in 合同管理)
//   合同 AND 北京      the same; AND, OR, NOT in any letter case, or &, |, ! standing alone
//   "annual report"   a phrase: the text between the quotes as it stands, spaces and signs included
//                     (“…” are quotes too); a keyword or a sign meant as text goes in quotes
//   合同 OR 协议       either
//   合同 NOT 草稿      the first without the second; NOT alone: documents without it
//   (合同 OR 协议) 北京 parentheses group; NOT binds first, then AND, then OR
//   [Subject] CONTAINS 合同, FIELD Subject CONTAINS "年度 报告"
//                     found in the items of that name (without regard to case)
//
// Anything else is an error that says what and where: an unknown operator (NEAR, SENTENCE, PARAGRAPH, ACCRUE,
// TERMWEIGHT, EXACTCASE), the wildcards * and ? outside quotes, a quote or parenthesis without its pair, an
// operator without its terms, a field without CONTAINS.
class FTQuery
{
public:
    struct Node
    {
        enum class Kind
        {
            Term,
            Field,
            And,
            Or,
            Not
        };
        Kind kind = Kind::Term;
        QByteArray term; // Term and Field: folded, UTF-8
        QString field;   // Field: the item's name
        std::vector<Node> children;
    };

    static constexpr int kMaxLength = 1000;
    static constexpr int kMaxTerms = 100;
    static constexpr int kMaxDepth = 20;

    // Throws DominoError with a Chinese message naming what is wrong and where (the character's number).
    static FTQuery parse(const QString& query);

    const Node& root() const { return m_root; }

    // The folded texts (UTF-8) of a document's items of a name, as searchItemText gives them.
    using FieldTexts = std::function<std::vector<QByteArray>(const QString& field)>;
    // text: the document's text as searchText gives it. fieldTexts is asked only when the text holds the term.
    bool matches(QByteArrayView text, const FieldTexts& fieldTexts) const;

private:
    Node m_root;
};

} // namespace quill::domino
