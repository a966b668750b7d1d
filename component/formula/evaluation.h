#pragma once

#include "formula.h"
#include "syntax.h"

#include <map>

namespace quill::component::formula {

using domino::Value;
using domino::ValueList;

// One run of a formula on one document: its temporary variables and the values it computes. Every value is a
// list of one or more elements of one kind.
class Evaluation
{
public:
    explicit Evaluation(const Document& document) : m_document(document) {}

    ValueList run(const Program& program);
    ValueList evaluate(const Node& node);
    const Document& document() const { return m_document; }

private:
    ValueList name(const QString& name) const;
    ValueList unary(const Node& node);
    ValueList binary(const Node& node);

    const Document& m_document;
    std::map<QString, ValueList> m_variables; // by name in lower case
};

// Helpers shared by the operators and the @functions.
[[noreturn]] void wrongType(const QString& what);
bool isText(const Value& value);
bool isNumber(const Value& value);
bool isTime(const Value& value); // a date-time, a date or a time
double numberOf(const Value& number);
// True when the list holds a number other than 0.
bool isTrue(const ValueList& values);
ValueList truth(bool value);
// Pair-wise: element i of each side with the other's element i, the shorter side's last one repeated.
template <typename F> ValueList pairwise(const ValueList& a, const ValueList& b, F&& f)
{
    ValueList out;
    const size_t count = std::max(a.size(), b.size());
    out.reserve(count);
    for (size_t i = 0; i < count; ++i)
        out.push_back(f(a[std::min(i, a.size() - 1)], b[std::min(i, b.size() - 1)]));
    return out;
}
// Refuses what would make a formula's value unreasonably large.
void checkSize(const ValueList& values);
// An element's text as @Text gives it.
QString textOf(const Value& value);
// A date-time, a date (midnight) or a time (on 1899-12-30, the day a time-only value has) in local time.
QDateTime toDateTime(const Value& value);

} // namespace quill::component::formula
