// Resolves the parameter assignments of the command line ("CutOff=0.4",
// "3=0.4") against the names a plug-in reports through effGetParamName.
#pragma once

#include <string>
#include <vector>

namespace vxtools {

// The name without trailing blanks: plug-ins pad some names ("Delay ").
std::string trimTrailingBlanks(const std::string& text);

// Splits "NAME=VALUE" at the first '='. The value must be a number from 0 to
// 1 (a normalised parameter value), written with a '.' decimal point whatever
// the locale. On failure fills error and returns false.
bool splitAssignment(const std::string& text, std::string& name, float& value, std::string& error);

// Finds the parameter a name refers to, in this order: a name equal to the
// query after both lose their trailing blanks; failing that, the one name that
// equals it ignoring letter case; failing that, a plain decimal index below
// names.size(). A query that fits several names is ambiguous. Returns the index,
// or -1 with an error that lists the valid names.
int matchParameter(const std::vector<std::string>& names, const std::string& query,
                   std::string& error);

}  // namespace vxtools
