// The extraction panel of the CD window: "&Extract" writes the selected track to TRACK.WAV in the
// program's folder and offers to save a copy, or encodes it to TRACKn.WMA at the chosen bit rate
// with the tags typed in. The window is disabled while a track is read, on a thread of its own; it
// keeps painting and showing the position. Window thread only.
#pragma once

#include <QObject>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cd/cd_session.h"
#include "rip/extract.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QWidget;

namespace cd {

struct ExtractWidgets {
    std::array<QRadioButton*, 2> optExtractMode;
    QWidget* picWMAExtractOptions;
    QCheckBox* chkWMAFileTags;
    QComboBox* cmbWMAEncodingBitrate;
    std::array<QLineEdit*, 8> txtWMATags;
};

class ExtractPanel : public QObject {
    Q_OBJECT
  public:
    // `window` is disabled while a track is read.
    ExtractPanel(CdSession& session, const ExtractWidgets& widgets, QWidget* window);

    // "&Extract" on `track`: to WAV or WMA as the options say.
    void Extract(int track);
    void ExtractAudioTrack(int track);
    void ExtractAudioTrackToWMA(int track, int bitrate);
    void SaveFile();
    // Deletes TRACK.WAV.
    void KILLTRACK();
    void LoadWMAEncoderRates();

    // Closing the window while a track is read: the extraction stops after the block under way
    // and keeps and offers nothing. False when no track is being read.
    bool stopForClose();

    std::string scratchTrackFile() const;
    const std::vector<std::string>& wmaTagNames() const { return wmaTagNames_; }

  private:
    void optExtractMode_Click();
    // The hooks of an extraction off the window thread: the stream reaches the session through
    // the window thread.
    ExtractHooks offWindowHooks();
    // Runs `extract` off the window thread with the window disabled, and returns its result.
    ExtractResult readOffWindowThread(const std::function<ExtractResult()>& extract);

    CdSession& session_;
    ExtractWidgets w_;
    QWidget* window_;
    std::vector<std::string> wmaTagNames_;
    std::string lastSaveName_;
    bool extracting_ = false;
    std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace cd
