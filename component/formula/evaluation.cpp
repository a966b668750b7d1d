#include "evaluation.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace quill::component::formula {
namespace {

constexpr size_t kMaxElements = 65535;
constexpr qsizetype kMaxTextSize = 4 * 1024 * 1024;

template <typename T> int order(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Text without regard to case, as views sort it; date-times by their instant, dates and times by themselves.
int compare(const Value& a, const Value& b)
{
    if (isNumber(a) && isNumber(b))
        return order(numberOf(a), numberOf(b));
    if (isText(a) && isText(b)) {
        const int result = a.asText().compare(b.asText(), Qt::CaseInsensitive);
        return order(result, 0);
    }
    if (isTime(a) && isTime(b)) {
        if (a.kind() == Value::Kind::Date && b.kind() == Value::Kind::Date)
            return order(a.asDate(), b.asDate());
        if (a.kind() == Value::Kind::Time && b.kind() == Value::Kind::Time)
            return order(a.asTime(), b.asTime());
        return order(toDateTime(a).toMSecsSinceEpoch(), toDateTime(b).toMSecsSinceEpoch());
    }
    wrongType(u"比较的两个值类型不同"_s);
}

bool compares(const QString& op, int result)
{
    if (op == u"="_s)
        return result == 0;
    if (op == u"<"_s)
        return result < 0;
    if (op == u">"_s)
        return result > 0;
    if (op == u"<="_s)
        return result <= 0;
    if (op == u">="_s)
        return result >= 0;
    return result != 0; // != <> >< =!
}

Value plusSeconds(const Value& time, double seconds)
{
    const auto msecs = qint64(std::llround(seconds * 1000));
    if (time.kind() == Value::Kind::Time)
        return Value::time(time.asTime().addMSecs(int(msecs % (24 * 3600 * 1000))));
    return Value::dateTime(toDateTime(time).addMSecs(msecs));
}

Value arithmetic(const QString& op, const Value& a, const Value& b)
{
    if (isNumber(a) && isNumber(b)) {
        const double x = numberOf(a), y = numberOf(b);
        if (op == u"/"_s && y == 0)
            throw FormulaError(u"除数为零"_s);
        return Value::number(op == u"+"_s ? x + y : op == u"-"_s ? x - y : op == u"*"_s ? x * y : x / y);
    }
    if (op == u"+"_s && isText(a) && isText(b))
        return Value::text(a.asText() + b.asText());
    if ((op == u"+"_s || op == u"-"_s) && isTime(a) && isNumber(b))
        return plusSeconds(a, op == u"+"_s ? numberOf(b) : -numberOf(b));
    if (op == u"+"_s && isNumber(a) && isTime(b))
        return plusSeconds(b, numberOf(a));
    if (op == u"-"_s && isTime(a) && isTime(b))
        return Value::number(double(toDateTime(b).msecsTo(toDateTime(a))) / 1000.0);
    wrongType(u"运算符"_s + op + u"不能用于这两种值"_s);
}

int group(const Value& value)
{
    return isText(value) ? 0 : isNumber(value) ? 1 : 2;
}

} // namespace

void wrongType(const QString& what)
{
    throw FormulaError(u"值的类型不对："_s + what);
}

double numberOf(const Value& value)
{
    return value.kind() == Value::Kind::Integer ? double(value.asInteger()) : value.asNumber();
}

bool isText(const Value& value)
{
    return value.kind() == Value::Kind::Text;
}

bool isNumber(const Value& value)
{
    return value.kind() == Value::Kind::Number || value.kind() == Value::Kind::Integer;
}

bool isTime(const Value& value)
{
    return value.kind() == Value::Kind::DateTime || value.kind() == Value::Kind::Date ||
           value.kind() == Value::Kind::Time;
}

bool isTrue(const ValueList& values)
{
    return std::any_of(values.begin(), values.end(),
                       [](const Value& value) { return isNumber(value) && numberOf(value) != 0; });
}

ValueList truth(bool value)
{
    return {Value::number(value ? 1 : 0)};
}

void checkSize(const ValueList& values)
{
    if (values.size() > kMaxElements)
        throw FormulaError(u"公式的值超过"_s + QString::number(kMaxElements) + u"个元素"_s);
    qsizetype size = 0;
    for (const Value& value : values)
        size += isText(value) ? value.asText().size() : 0;
    if (size > kMaxTextSize)
        throw FormulaError(u"公式的值过长"_s);
}

QString textOf(const Value& value)
{
    return domino::ValueToText(value);
}

QDateTime toDateTime(const Value& value)
{
    switch (value.kind()) {
    case Value::Kind::DateTime:
        return value.asDateTime();
    case Value::Kind::Date:
        return QDateTime(value.asDate(), QTime(0, 0));
    case Value::Kind::Time:
        return QDateTime(QDate(1899, 12, 30), value.asTime());
    default:
        wrongType(u"应为日期时间"_s);
    }
}

ValueList Evaluation::run(const Program& program)
{
    ValueList result;
    for (const Statement& statement : program.statements) {
        ValueList value = evaluate(statement.expression);
        if (statement.kind == Statement::Kind::Assignment)
            m_variables[statement.variable.toLower()] = std::move(value);
        else
            result = std::move(value);
    }
    return result;
}

ValueList Evaluation::evaluate(const Node& node)
{
    switch (node.type) {
    case Node::Type::Literal:
        return {node.value};
    case Node::Type::Name:
        return name(node.name);
    case Node::Type::Keyword:
        break; // the parser lets a keyword stand only where its @function reads it
    case Node::Type::Unary:
        return unary(node);
    case Node::Type::Binary:
        return binary(node);
    case Node::Type::Call: {
        ValueList values = node.function->evaluate(*this, node);
        if (values.empty())
            values.push_back(Value::text(QString()));
        return values;
    }
    }
    throw FormulaError(u"关键字["_s + node.name + u"]不能用作值"_s);
}

// A temporary variable, else the document's item; an item the document lacks is "".
ValueList Evaluation::name(const QString& name) const
{
    if (!m_variables.empty()) {
        const auto it = m_variables.find(name.toLower());
        if (it != m_variables.end())
            return it->second;
    }
    std::optional<ValueList> values = m_document.item(name);
    if (!values || values->empty())
        return {Value::text(QString())};
    return std::move(*values);
}

ValueList Evaluation::unary(const Node& node)
{
    ValueList values = evaluate(node.children.front());
    for (Value& value : values) {
        if (!isNumber(value))
            wrongType(u"运算符"_s + node.name + u"只能用于数字"_s);
        if (node.name == u"-"_s)
            value = Value::number(-numberOf(value));
        else if (node.name == u"!"_s)
            value = Value::number(numberOf(value) == 0 ? 1 : 0);
    }
    return values;
}

ValueList Evaluation::binary(const Node& node)
{
    const QString& op = node.name;
    if (op == u"&"_s)
        return truth(isTrue(evaluate(node.children[0])) && isTrue(evaluate(node.children[1])));
    if (op == u"|"_s)
        return truth(isTrue(evaluate(node.children[0])) || isTrue(evaluate(node.children[1])));
    ValueList left = evaluate(node.children[0]);
    ValueList right = evaluate(node.children[1]);
    ValueList result;
    if (op == u":"_s) {
        if (group(left.front()) != group(right.front()))
            wrongType(u"列表的元素类型不同"_s);
        result = std::move(left);
        result.insert(result.end(), std::make_move_iterator(right.begin()), std::make_move_iterator(right.end()));
    } else if (op == u"+"_s || op == u"-"_s || op == u"*"_s || op == u"/"_s) {
        result = pairwise(left, right, [&](const Value& a, const Value& b) { return arithmetic(op, a, b); });
    } else {
        // A list compares true when any pair does.
        bool any = false;
        pairwise(left, right, [&](const Value& a, const Value& b) {
            any = any || compares(op, compare(a, b));
            return Value();
        });
        return truth(any);
    }
    checkSize(result);
    return result;
}

Formula Formula::parse(const QString& text)
{
    return Formula(std::make_shared<const Program>(parseProgram(text)));
}

ValueList Formula::evaluate(const Document& document) const
{
    return Evaluation(document).run(*m_program);
}

bool Formula::selects(const Document& document) const
{
    try {
        return isTrue(evaluate(document));
    } catch (const FormulaError&) {
        return false;
    }
}

namespace {

// The expression of a formula that is one statement giving a value.
const Node* soleExpression(const Program& program)
{
    if (program.statements.size() != 1 || program.statements.front().kind == Statement::Kind::Assignment)
        return nullptr;
    return &program.statements.front().expression;
}

} // namespace

std::optional<QString> Formula::itemName() const
{
    const Node* node = soleExpression(*m_program);
    if (!node || node->type != Node::Type::Name || m_program->statements.front().kind != Statement::Kind::Expression)
        return std::nullopt;
    return node->name;
}

bool Formula::selectsAll() const
{
    const Node* node = soleExpression(*m_program);
    return node && node->type == Node::Type::Call && node->name.compare(u"@All"_s, Qt::CaseInsensitive) == 0;
}

std::optional<QString> Formula::selectedForm() const
{
    const Node* node = soleExpression(*m_program);
    if (!node || node->type != Node::Type::Binary || node->name != u"="_s)
        return std::nullopt;
    for (int side : {0, 1}) {
        const Node& name = node->children[size_t(side)];
        const Node& literal = node->children[size_t(1 - side)];
        if (name.type == Node::Type::Name && name.name.compare(u"Form"_s, Qt::CaseInsensitive) == 0 &&
            literal.type == Node::Type::Literal && isText(literal.value))
            return literal.value.asText();
    }
    return std::nullopt;
}

} // namespace quill::component::formula
