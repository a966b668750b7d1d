#pragma once

// The formula language inside the library: tokens, the tree the parser makes, and the table of @functions.

#include "domino/value.h"

#include <QString>
#include <vector>

namespace quill::component::formula {

struct Token
{
    enum class Type
    {
        Number,
        Text,
        Name,     // an item, a variable or a keyword (SELECT, REM, ...)
        Function, // @Name: text holds the name without "@"
        Operator, // also ( ) ; [ ]
        End
    };
    Type type = Type::End;
    QString text;
    double number = 0;
    qsizetype position = 0; // of the first character, from 0
};

// Throws FormulaError.
std::vector<Token> tokenize(const QString& formula);

struct Function;

struct Node
{
    enum class Type
    {
        Literal, // value
        Name,    // an item or a variable: name
        Keyword, // [CN]: name without the brackets
        Unary,   // name: the operator; one child
        Binary,  // name: the operator; two children
        Call     // function; children: the arguments
    };
    Type type = Type::Literal;
    QString name;
    domino::Value value;
    const Function* function = nullptr;
    std::vector<Node> children;
};

struct Statement
{
    enum class Kind
    {
        Expression,
        Select,
        Assignment // variable := expression
    };
    Kind kind = Kind::Expression;
    QString variable;
    Node expression;
};

// The formula's statements in order; the value is that of the last Expression or Select.
struct Program
{
    std::vector<Statement> statements;
};

// Throws FormulaError.
Program parseProgram(const QString& formula);

class Evaluation;

struct Function
{
    const char16_t* name; // as documented, e.g. u"DocNumber"
    int minArguments;
    int maxArguments; // -1: any number
    domino::ValueList (*evaluate)(Evaluation& evaluation, const Node& call);
    // Checks made when the formula is parsed, beyond the number of arguments; throws FormulaError.
    void (*check)(const Node& call);
};

// The function of that name (without "@", compared without regard to case), or nullptr.
const Function* findFunction(QStringView name);

} // namespace quill::component::formula
