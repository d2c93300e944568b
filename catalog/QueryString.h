#pragma once

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// The query part of a request address, read from its raw text.
//
// The player puts its search texts into addresses unescaped, so a text holding
// "&" arrives split ("tag=R&B&page=1"). A piece that is not one of the
// parameter names the request may carry belongs to the value before it and is
// joined back with its "&" ("tag" = "R&B"). Values are decoded as form
// data: "+" is a blank, and percent escapes give their bytes ("%2B" a plus).
class QueryString {
public:
    // Nothing when the text is malformed: a broken percent escape or a NUL
    // byte. Of a name given twice the later value counts.
    static std::optional<QueryString> parse(std::string_view raw,
                                            std::initializer_list<std::string_view> names);

    bool has(const std::string& name) const { return values_.count(name) != 0; }
    std::string get(const std::string& name) const;

    // A whole number in [minimum, maximum]; a missing parameter gives
    // fallback, anything that is not such a number gives nothing.
    std::optional<long long> number(const std::string& name, long long fallback, long long minimum,
                                    long long maximum) const;

private:
    std::map<std::string, std::string> values_;
};

// Decodes a value of form data ("+" a blank, %XX escapes); nothing when an
// escape is broken or decodes to NUL.
std::optional<std::string> formDecode(std::string_view text);
