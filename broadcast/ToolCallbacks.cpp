#include "broadcast/ToolCallbacks.h"

#include "convert/ToolRun.h"

#include <QObject>

#include <memory>
#include <utility>

namespace {
// The converter of the running broadcast, and stopped ones still ending.
class ConverterRuns {
public:
    explicit ConverterRuns(ToolState& state)
        : state_(state) {}

    bool start(const std::string& program, const std::string& parameters,
               std::function<void()> ended) {
        end();
        auto* run = new ToolRun(state_, &owner_);
        if (!run->start(program, parameters)) {
            delete run;
            return false;
        }
        current_ = run;
        QObject::connect(run, &ToolRun::finished, run, [this, run, ended = std::move(ended)] {
            run->deleteLater();
            if (current_ != run)
                return; // stopped: ended by the user
            current_ = nullptr;
            if (ended)
                ended();
        });
        return true;
    }

    // The run goes on ending by itself and is deleted once it has finished.
    void end() {
        if (ToolRun* run = std::exchange(current_, nullptr))
            run->end();
    }

private:
    ToolState& state_;
    QObject owner_; // parent of every run: the last to go ends those left
    ToolRun* current_ = nullptr;
};
} // namespace

BroadcastCallbacks toolRunnerCallbacks(ToolState& state) {
    auto runs = std::make_shared<ConverterRuns>(state);
    BroadcastCallbacks callbacks;
    callbacks.startTool = [runs](const std::string& program, const std::string& parameters,
                                 std::function<void()> ended) {
        return runs->start(program, parameters, std::move(ended));
    };
    callbacks.EndTool = [runs] { runs->end(); };
    return callbacks;
}
