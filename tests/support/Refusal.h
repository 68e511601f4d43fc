#pragma once

#include "db/DbError.h"

#include <QString>

namespace testing_support {

// The message f is refused with: an error's text, "abort" for a silent abort,
// empty when f goes through.
template <class F>
QString refusal(F f)
{
    try {
        f();
    } catch (const fw::Error& e) {
        return e.message();
    } catch (const fw::Abort&) {
        return "abort";
    }
    return "";
}

} // namespace testing_support
