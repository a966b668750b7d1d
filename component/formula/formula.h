#pragma once

#include "domino/value.h"
#include "platform/error.h"

#include <QDateTime>
#include <memory>
#include <optional>

namespace quill::component::formula {

// A formula outside the part of the formula language the component evaluates (parse), or one that fails on a
// document (evaluate: a value of the wrong type, a division by zero, a result too large).
class FormulaError : public platform::Error
{
public:
    using platform::Error::Error;
    ~FormulaError() override;
};

// What a formula may ask of the document it is evaluated on.
class Document
{
public:
    virtual ~Document() = default;
    // The item's values; nullopt when the document has no item of that name (compared without regard to case).
    virtual std::optional<domino::ValueList> item(const QString& name) const = 0;
    // The names the document's Authors items hold, in item order.
    virtual domino::ValueList authors() const = 0;
    virtual QDateTime created() const = 0;
    virtual QDateTime modified() const = 0;
    virtual QString universalId() const = 0;
    // @DocLength: the document's size in bytes.
    virtual qint64 length() const = 0;
    // @DocNumber: the position in the view from 1; 0 outside a view (while a view's index is built).
    virtual qint64 position() const = 0;
};

struct Program;

// A parsed formula: the statements of the language a view uses (see formula/README.md). Cheap to copy.
class Formula
{
public:
    // Throws FormulaError (Chinese) naming what is not supported or where the text is wrong.
    static Formula parse(const QString& text);

    // The formula's value: a list of one or more elements of one kind (text, number or date-time).
    // Throws FormulaError.
    domino::ValueList evaluate(const Document& document) const;
    // As a selection: true when the value holds a number other than 0. False when evaluation fails.
    bool selects(const Document& document) const;

    // The item a formula that is just an item name shows.
    std::optional<QString> itemName() const;
    // @All (SELECT @All).
    bool selectsAll() const;
    // The form of Form = "name" (SELECT Form = "name").
    std::optional<QString> selectedForm() const;

private:
    explicit Formula(std::shared_ptr<const Program> program) : m_program(std::move(program)) {}
    std::shared_ptr<const Program> m_program;
};

} // namespace quill::component::formula
