#include "platform/error.h"

namespace quill::platform {

Error::Error(QString message)
    : m_message(std::move(message))
    , m_utf8(m_message.toUtf8())
{
}

// Out of line so the type information has one home even across the component's dlopen boundary.
Error::~Error() = default;

} // namespace quill::platform
