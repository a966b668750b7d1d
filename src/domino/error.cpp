#include "domino/error.h"

namespace quill::domino {

DominoError::~DominoError() = default;

} // namespace quill::domino
