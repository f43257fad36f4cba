#pragma once
// One built-in check: the name printed when it fails, and the test itself.

#include <QString>
#include <functional>

struct SelfCheck {
    QString name;
    std::function<bool()> pass;
};
