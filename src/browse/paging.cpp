#include "browse/paging.h"

#include <algorithm>

namespace quill::browse {

std::optional<int> pagePosition(PageCommand command, const PagingState& state)
{
    if (state.docCount == 0 || !state.reportStyle)
        return std::nullopt;
    switch (command) {
    case PageCommand::First:
        return 0;
    case PageCommand::Previous:
        return std::max(0, state.pageStart - kPageSize);
    case PageCommand::Next:
        if (state.docCount <= state.docPos)
            return std::nullopt;
        return state.docPos;
    case PageCommand::Last:
        if (state.docCount <= state.docPos)
            return std::nullopt;
        return (state.docCount - 1) / kPageSize * kPageSize;
    }
    return std::nullopt;
}

} // namespace quill::browse
