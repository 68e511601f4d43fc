#pragma once

#include "Value.h"

#include <QString>
#include <functional>
#include <memory>

namespace fw {

class Field;

// A parsed client-side filter text: comparisons (=, <>, <, >, <=, >=) of a field
// with a number, a quoted string or another field, joined by "and" and "or",
// with parentheses. A NULL field compares as an empty string against text and
// as unequal to every number.
class FilterExpr {
public:
    struct Node;

    // nullptr for an empty text; throws Error for a text it cannot read.
    static std::shared_ptr<FilterExpr> parse(const QString& text);
    ~FilterExpr();

    // Resolves the field names (throws for an unknown one); needed before evaluate.
    void bind(const std::function<const Field*(const QString&)>& resolve);
    bool evaluate(const std::function<Value(const Field&)>& valueOf) const;

private:
    FilterExpr() = default;
    std::unique_ptr<Node> root_;
};

} // namespace fw
