#pragma once

#include "platform/error.h"

namespace quill::domino {

// Every failure of a Domino operation: carries the component's message.
class DominoError : public platform::Error
{
public:
    using platform::Error::Error;
    ~DominoError() override;
};

} // namespace quill::domino
