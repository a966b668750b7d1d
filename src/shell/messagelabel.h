#pragma once

#include <QLabel>

namespace quill::shell {

// The message line of the progress window. The export's message ends in its counter ("...3/120"),
// which a long workbook name would push out of the fixed-width line: an overlong text gives up the
// middle of itself instead.
class MessageLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace quill::shell
