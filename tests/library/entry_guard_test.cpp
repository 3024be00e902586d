#include <gtest/gtest.h>

#include <stdexcept>

#include "library/plugin/entry_guard.h"

namespace {

TEST(EntryGuard, NoExceptionLeavesTheEntry) {
    struct Case {
        const char* label;
        PF_Err (*handler)();
        PF_Err expected;
    } cases[] = {
        {"result passes through", [] { return PF_Err(7); }, 7},
        {"thrown host error is the result", []() -> PF_Err { throw PF_Err(PF_Err_BAD_CALLBACK_PARAM); },
         PF_Err_BAD_CALLBACK_PARAM},
        {"out of memory", []() -> PF_Err { throw std::bad_alloc(); }, PF_Err_OUT_OF_MEMORY},
        {"any other exception", []() -> PF_Err { throw std::runtime_error("boom"); }, PF_Err_INTERNAL_STRUCT_DAMAGED},
        {"a thrown value of another type", []() -> PF_Err { throw 1.5; }, PF_Err_INTERNAL_STRUCT_DAMAGED},
    };
    for (const Case& c : cases) EXPECT_EQ(Morvel::Plugin::runGuarded(c.handler), c.expected) << c.label;
}

}  // namespace
