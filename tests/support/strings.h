// The lines of a string list as a vector, for comparing in one assertion.
#pragma once
#include <string>
#include <vector>

#include "classes/lists.h"

namespace dbvtest {

using V = std::vector<std::string>;

inline V All(const vcl::TStrings& s) {
    V v;
    for (int i = 0; i < s.GetCount(); ++i) v.push_back(s.Strings(i));
    return v;
}

}  // namespace dbvtest
