// Base64Decode and TrimRight on arbitrary text.
#include "fuzz/FuzzCheck.h"
#include "search/Base64.h"

#include <stdexcept>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const std::string decoded = base64Decode(text);
        fuzzCheck(size % 4 == 0, "only whole groups of four decode");
        size_t expected = size / 4 * 3;
        if (size > 0 && text[size - 2] == '=')
            expected -= 2;
        else if (size > 0 && text[size - 1] == '=')
            expected -= 1;
        fuzzCheck(decoded.size() == expected, "three bytes a group, less the padding");
    } catch (const std::runtime_error& error) {
        fuzzCheck(size % 4 != 0, "a length of whole groups is never refused");
        fuzzCheck(std::string(error.what()) == "Base64: Incorrect string format",
                  "the refusal says why");
    }

    const std::string trimmed = trimRight(text);
    fuzzCheck(text.compare(0, trimmed.size(), trimmed) == 0, "trimming keeps the start");
    fuzzCheck(trimmed.empty() || static_cast<unsigned char>(trimmed.back()) > 32,
              "no blank or control character is left at the end");
    for (size_t i = trimmed.size(); i < size; ++i)
        fuzzCheck(data[i] <= 32, "only blanks and control characters are cut");
    return 0;
}
