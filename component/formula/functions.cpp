// The @functions the component evaluates. Each takes its arguments as the parser left them, so that @If
// evaluates only the branch it takes and @IsAvailable reads a name without evaluating it.

#include "evaluation.h"

using namespace Qt::StringLiterals;

namespace quill::component::formula {
namespace {

using Arguments = const Node&;

ValueList argument(Evaluation& e, Arguments call, size_t index)
{
    return e.evaluate(call.children[index]);
}

// Applies f to every element of a text list.
template <typename F> ValueList eachText(const QString& function, ValueList values, F&& f)
{
    for (Value& value : values) {
        if (!isText(value))
            wrongType(function + u"只能用于文本"_s);
        value = Value::text(f(value.asText()));
    }
    return values;
}

ValueList ifThen(Evaluation& e, Arguments call)
{
    const size_t last = call.children.size() - 1;
    for (size_t i = 0; i + 1 < last; i += 2) {
        if (isTrue(argument(e, call, i)))
            return argument(e, call, i + 1);
    }
    return argument(e, call, last);
}

ValueList text(Evaluation& e, Arguments call)
{
    ValueList values = argument(e, call, 0);
    for (Value& value : values)
        value = Value::text(textOf(value));
    return values;
}

// "CN=John Doe/OU=Sales/O=Acme": [CN] "John Doe", [Abbreviate] "John Doe/Sales/Acme". A name without labels
// ("John Doe/Sales/Acme", "John Doe") is already abbreviated.
QString name(const QString& keyword, const QString& full)
{
    QStringList parts = full.split(u'/');
    for (QString& part : parts) {
        const qsizetype eq = part.indexOf(u'=');
        const QString label = part.left(eq).trimmed();
        if (eq > 0 &&
            (label.compare(u"CN"_s, Qt::CaseInsensitive) == 0 || label.compare(u"OU"_s, Qt::CaseInsensitive) == 0 ||
             label.compare(u"O"_s, Qt::CaseInsensitive) == 0 || label.compare(u"C"_s, Qt::CaseInsensitive) == 0))
            part = part.mid(eq + 1);
    }
    return keyword.compare(u"CN"_s, Qt::CaseInsensitive) == 0 ? parts.front() : parts.join(u'/');
}

ValueList nameOf(Evaluation& e, Arguments call)
{
    const QString keyword = call.children[0].name;
    return eachText(u"@Name"_s, argument(e, call, 1), [&](const QString& full) { return name(keyword, full); });
}

void checkName(Arguments call)
{
    const Node& keyword = call.children[0];
    if (keyword.type != Node::Type::Keyword || (keyword.name.compare(u"CN"_s, Qt::CaseInsensitive) != 0 &&
                                                keyword.name.compare(u"Abbreviate"_s, Qt::CaseInsensitive) != 0))
        throw FormulaError(u"@Name只支持[CN]与[Abbreviate]"_s);
}

// @Left and @Right: a number of characters, or the text before (after) the first occurrence of a text.
ValueList side(Evaluation& e, Arguments call, bool left)
{
    const Value how = argument(e, call, 1).front();
    const QString function = left ? u"@Left"_s : u"@Right"_s;
    if (!isText(how) && !isNumber(how))
        wrongType(function + u"的第二个参数应为数字或文本"_s);
    return eachText(function, argument(e, call, 0), [&](const QString& s) {
        if (isNumber(how)) {
            const auto count = qsizetype(std::max(0.0, std::min(numberOf(how), double(s.size()))));
            return left ? s.left(count) : s.right(count);
        }
        const qsizetype at = s.indexOf(how.asText());
        if (at < 0)
            return QString();
        return left ? s.left(at) : s.mid(at + how.asText().size());
    });
}

// Leading, trailing and repeated spaces go; so do empty elements of a list.
ValueList trim(Evaluation& e, Arguments call)
{
    ValueList values = eachText(u"@Trim"_s, argument(e, call, 0),
                                [](const QString& s) { return s.split(u' ', Qt::SkipEmptyParts).join(u' '); });
    std::erase_if(values, [](const Value& value) { return value.asText().isEmpty(); });
    return values;
}

ValueList caseOf(Evaluation& e, Arguments call, bool upper)
{
    return eachText(upper ? u"@UpperCase"_s : u"@LowerCase"_s, argument(e, call, 0),
                    [&](const QString& s) { return upper ? s.toUpper() : s.toLower(); });
}

// @Date(date-time), @Date(year; month; day) and @Date(year; month; day; hour; minute; second), whose time
// is left out: a date without a time.
ValueList date(Evaluation& e, Arguments call)
{
    if (call.children.size() == 1) {
        ValueList values = argument(e, call, 0);
        for (Value& value : values) {
            if (!isTime(value) || value.kind() == Value::Kind::Time)
                wrongType(u"@Date应给出日期"_s);
            value = Value::date(toDateTime(value).date());
        }
        return values;
    }
    int parts[3];
    for (size_t i = 0; i < 3; ++i) {
        const Value part = argument(e, call, i).front();
        if (!isNumber(part))
            wrongType(u"@Date的年、月、日应为数字"_s);
        parts[i] = int(numberOf(part));
    }
    const QDate result(parts[0], parts[1], parts[2]);
    if (!result.isValid())
        throw FormulaError(u"@Date的日期无效"_s);
    return {Value::date(result)};
}

void checkDate(Arguments call)
{
    if (call.children.size() == 2 || call.children.size() == 4 || call.children.size() == 5)
        throw FormulaError(u"@Date应有1、3或6个参数"_s);
}

// @Year, @Month, @Day: -1 for a time without a date.
ValueList datePart(Evaluation& e, Arguments call, int (QDate::*part)() const)
{
    ValueList values = argument(e, call, 0);
    for (Value& value : values) {
        if (!isTime(value))
            wrongType(u"应为日期时间"_s);
        value = Value::number(value.kind() == Value::Kind::Time ? -1 : (toDateTime(value).date().*part)());
    }
    return values;
}

// The Authors items' names; without them, the first of $UpdatedBy.
ValueList author(Evaluation& e, Arguments)
{
    ValueList names = e.document().authors();
    if (names.empty()) {
        if (const auto updatedBy = e.document().item(u"$UpdatedBy"_s); updatedBy && !updatedBy->empty())
            names.push_back(updatedBy->front());
    }
    return names;
}

ValueList isAvailable(Evaluation& e, Arguments call, bool available)
{
    return truth(e.document().item(call.children[0].name).has_value() == available);
}

void checkItemName(Arguments call)
{
    if (call.children[0].type != Node::Type::Name)
        throw FormulaError(call.name + u"的参数应为域名"_s);
}

const Function kFunctions[] = {
    {u"If", 3, -1, ifThen,
     [](Arguments call) {
         if (call.children.size() % 2 == 0)
             throw FormulaError(u"@If的参数个数应为奇数"_s);
     }},
    {u"Text", 1, 1, text, nullptr},
    {u"Name", 2, 2, nameOf, checkName},
    {u"Left", 2, 2, [](Evaluation& e, Arguments call) { return side(e, call, true); }, nullptr},
    {u"Right", 2, 2, [](Evaluation& e, Arguments call) { return side(e, call, false); }, nullptr},
    {u"Trim", 1, 1, trim, nullptr},
    {u"UpperCase", 1, 1, [](Evaluation& e, Arguments call) { return caseOf(e, call, true); }, nullptr},
    {u"LowerCase", 1, 1, [](Evaluation& e, Arguments call) { return caseOf(e, call, false); }, nullptr},
    {u"Date", 1, 6, date, checkDate},
    {u"Year", 1, 1, [](Evaluation& e, Arguments call) { return datePart(e, call, &QDate::year); }, nullptr},
    {u"Month", 1, 1, [](Evaluation& e, Arguments call) { return datePart(e, call, &QDate::month); }, nullptr},
    {u"Day", 1, 1, [](Evaluation& e, Arguments call) { return datePart(e, call, &QDate::day); }, nullptr},
    {u"Created", 0, 0, [](Evaluation& e, Arguments) { return ValueList{Value::dateTime(e.document().created())}; },
     nullptr},
    {u"Modified", 0, 0, [](Evaluation& e, Arguments) { return ValueList{Value::dateTime(e.document().modified())}; },
     nullptr},
    {u"Author", 0, 0, author, nullptr},
    // In a view without categories the position is a whole number; the separator argument changes nothing.
    {u"DocNumber", 0, 1,
     [](Evaluation& e, Arguments) {
         const qint64 position = e.document().position();
         return ValueList{Value::text(position > 0 ? QString::number(position) : QString())};
     },
     nullptr},
    {u"DocLength", 0, 0,
     [](Evaluation& e, Arguments) { return ValueList{Value::number(double(e.document().length()))}; }, nullptr},
    {u"DocumentUniqueID", 0, 0,
     [](Evaluation& e, Arguments) { return ValueList{Value::text(e.document().universalId())}; }, nullptr},
    {u"IsAvailable", 1, 1, [](Evaluation& e, Arguments call) { return isAvailable(e, call, true); }, checkItemName},
    {u"IsUnavailable", 1, 1, [](Evaluation& e, Arguments call) { return isAvailable(e, call, false); }, checkItemName},
    {u"All", 0, 0, [](Evaluation&, Arguments) { return truth(true); }, nullptr},
    {u"True", 0, 0, [](Evaluation&, Arguments) { return truth(true); }, nullptr},
    {u"False", 0, 0, [](Evaluation&, Arguments) { return truth(false); }, nullptr},
};

} // namespace

const Function* findFunction(QStringView name)
{
    for (const Function& function : kFunctions) {
        if (name.compare(QStringView(function.name), Qt::CaseInsensitive) == 0)
            return &function;
    }
    return nullptr;
}

} // namespace quill::component::formula
