// What the files for other programs (event log, dump metadata) share in
// turning values into JSON text.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

// Objects keep their fields in the order they were added.
using JsonObject = nlohmann::ordered_json;

// A whole number stays whole in the text ("20", not "20.0"); others are
// written as floating point. Values without a JSON form (NaN, infinity)
// become null.
JsonObject JsonNumber(double value);

// The text of value, on one line (indent < 0) or indented. Strings that are
// not valid UTF-8 have the faulty bytes replaced by U+FFFD instead of
// throwing; nothing is thrown, and an empty string means the text could not
// be made (out of memory).
std::string JsonText(const JsonObject& value, int indent = -1);
