#pragma once

#include "domino/installation.h"

namespace quill::shell {

class Prompts;

// Tells the user what went wrong when the component could not be registered; says nothing otherwise.
void reportRegistration(domino::Registration outcome, Prompts& prompts);

} // namespace quill::shell
