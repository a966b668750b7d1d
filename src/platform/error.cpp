#include "platform/error.h"

namespace quill::platform {

Error::Error(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}

// Out of line so the type information has one home even across the component's dlopen boundary.
Error::~Error() = default;

QString messageOf(const std::exception& error)
{
    if (const auto* own = dynamic_cast<const Error*>(&error))
        return own->message();
    return QString::fromUtf8(error.what());
}

} // namespace quill::platform
