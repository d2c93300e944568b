#include "tools/MconvOptions.h"

#include <algorithm>
#include <map>
#include <utility>

namespace {
// An option as ffmpeg 5 reads it: a name and, for most, a value.
struct Option {
    std::string name;
    std::string value;
    bool hasValue = true;
    bool outputOnly = false; // means the output wherever it stands
};

struct Input {
    std::vector<Option> options;
    std::string path;
    bool loopedPicture = false;
};

bool isBareNumber(const std::string& value) {
    return !value.empty() &&
           std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Options that keep their place: before an input they describe that input.
const std::map<std::string, std::string> kPlacedWithValue = {
    {"-f", "-f"}, {"-ar", "-ar"}, {"-ac", "-ac"}, {"-s", "-s"}, {"-r", "-r"}};

// Options that always describe the output, whatever their place.
const std::map<std::string, std::string> kOutputWithValue = {
    {"-b", "-b:v"}, {"-qscale", "-q:v"}, {"-ab", "-b:a"}};

// Output options: a later one of the same name replaces an earlier one.
void setOutputOption(std::vector<Option>& options, Option option) {
    for (Option& existing : options)
        if (existing.name == option.name) {
            existing = std::move(option);
            return;
        }
    options.push_back(std::move(option));
}

class Translator {
public:
    explicit Translator(const std::vector<std::string>& legacy)
        : legacy_(legacy) {}

    std::vector<std::string> run() {
        for (next_ = 0; next_ < legacy_.size();)
            take(legacy_[next_++]);
        if (inputs_.empty())
            throw MconvError("no input (-i) given");
        if (output_.empty())
            throw MconvError("no output file given");
        for (Option& option : pending_)
            setOutputOption(outputOptions_, std::move(option));
        return build();
    }

private:
    std::string value(const std::string& option) {
        if (next_ >= legacy_.size())
            throw MconvError("option " + option + " needs a value");
        return legacy_[next_++];
    }

    void take(const std::string& token) {
        if (!output_.empty())
            throw MconvError("unexpected argument after the output: " + token);
        if (token == "-y") {
            overwrite_ = true;
        } else if (token == "-loop_input") {
            pending_.push_back({"-loop", "1"});
            pendingLoop_ = true;
        } else if (token == "-re") {
            pending_.push_back({"-re", {}, false});
        } else if (token == "-deinterlace") {
            pending_.push_back({"-vf", "yadif", true, true});
        } else if (token == "-i") {
            takeInput(value(token));
        } else if (auto placed = kPlacedWithValue.find(token); placed != kPlacedWithValue.end()) {
            pending_.push_back({placed->second, value(token)});
        } else if (auto out = kOutputWithValue.find(token); out != kOutputWithValue.end()) {
            std::string given = value(token);
            if (token == "-ab" && isBareNumber(given))
                given += "k";
            pending_.push_back({out->second, std::move(given), true, true});
        } else if (token.size() > 1 && token.front() == '-') {
            throw MconvError("unknown option " + token);
        } else if (token.empty() || token == "-") {
            throw MconvError("the output must be a file or an address");
        } else {
            output_ = token;
        }
    }

    // Placed options describe this input; output-only ones wait for the output.
    void takeInput(std::string path) {
        Input input{{}, std::move(path), pendingLoop_};
        for (Option& option : pending_) {
            if (option.outputOnly)
                setOutputOption(outputOptions_, std::move(option));
            else
                input.options.push_back(std::move(option));
        }
        inputs_.push_back(std::move(input));
        pending_.clear();
        pendingLoop_ = false;
    }

    std::vector<std::string> build() const {
        std::vector<std::string> out = {"-nostdin", "-hide_banner", "-loglevel", "error"};
        if (overwrite_)
            out.push_back("-y");
        bool loops = false;
        for (const Input& input : inputs_) {
            append(out, input.options);
            out.push_back("-i");
            out.push_back(input.path);
            loops = loops || input.loopedPicture;
        }
        append(out, outputOptions_);
        if (loops && inputs_.size() > 1)
            out.push_back("-shortest");
        out.push_back(output_);
        return out;
    }

    static void append(std::vector<std::string>& out, const std::vector<Option>& options) {
        for (const Option& option : options) {
            out.push_back(option.name);
            if (option.hasValue)
                out.push_back(option.value);
        }
    }

    const std::vector<std::string>& legacy_;
    size_t next_ = 0;
    bool overwrite_ = false;
    std::vector<Option> pending_; // options not yet claimed by an -i
    bool pendingLoop_ = false;
    std::vector<Input> inputs_;
    std::vector<Option> outputOptions_;
    std::string output_;
};
} // namespace

std::vector<std::string> translateMconvArguments(const std::vector<std::string>& legacy) {
    return Translator(legacy).run();
}
