#pragma once

#include <string>
#include <vector>

#include "disc/disc_engine.h"
#include "support/disc/simulated_disc_engine.h"

namespace quillet::testing {

// Records every disc engine event: write, verify and erase events as the simulated engine's
// event data (so that a test compares them with a script), image events as "Event path" lines.
// Answers FileWarning and ReplaceQuery with the flags a test sets.
class RecordingDiscListener : public disc::DiscEventListener {
  public:
    std::vector<disc::ScriptedEvent> events;
    std::vector<std::string> imageEvents;
    std::vector<disc::ImageItem> items;  // the item of every image event, in order
    bool continueAfterWarning = true;
    bool replaceFiles = false;

    void WriteStatus(int state, int percent) override {
        events.push_back(disc::WriteStatusEvent{state, percent});
    }
    bool FileWarning(const disc::FileError& error) override {
        events.push_back(disc::FileWarningEvent{error});
        return continueAfterWarning;
    }
    void TrackReading(int track, std::int64_t number, const std::string& text) override {
        events.push_back(disc::TrackReadingEvent{track, number, text});
    }
    void ErrorRaised(const disc::EngineError& error) override {
        events.push_back(disc::ErrorRaisedEvent{error});
    }
    void VerifyStarted(int files) override { events.push_back(disc::VerifyStartedEvent{files}); }
    void FileVerified(const disc::ImageItem& item, int result, int position, int total) override {
        events.push_back(disc::FileVerifiedEvent{item, result, position, total});
    }
    void VerifyFinished(int total, int matched) override {
        events.push_back(disc::VerifyFinishedEvent{total, matched});
    }
    void EraseStatus(int state, int percent) override {
        events.push_back(disc::EraseStatusEvent{state, percent});
    }
    void DeviceErrorRaised(const disc::DeviceError& error) override {
        events.push_back(disc::DeviceErrorEvent{error});
    }

    void ItemAdded(const disc::ImageItem& item) override { image("ItemAdded", item); }
    void ItemRemoved(const disc::ImageItem& item) override { image("ItemRemoved", item); }
    void ItemRenamed(const disc::ImageItem& item) override { image("ItemRenamed", item); }
    void ItemListed(const disc::ImageItem& item) override { image("ItemListed", item); }
    bool ReplaceQuery(const disc::ImageItem& existing, const std::string& source) override {
        imageEvents.push_back("ReplaceQuery " + existing.imagePath + " " + source);
        return replaceFiles;
    }
    void ImageCleared() override { imageEvents.push_back("ImageCleared"); }

    // The WriteStatus states (or EraseStatus states) received, in order.
    std::vector<int> writeStates() const {
        std::vector<int> states;
        for (const auto& event : events) {
            if (const auto* status = std::get_if<disc::WriteStatusEvent>(&event)) {
                states.push_back(status->state);
            }
        }
        return states;
    }

  private:
    void image(const char* what, const disc::ImageItem& item) {
        imageEvents.push_back(std::string(what) + " " + item.imagePath);
        items.push_back(item);
    }
};

}  // namespace quillet::testing
