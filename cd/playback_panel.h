// The playback panel of the CD window: a track plays through the engine's CD stream, then the
// next one (the last wraps to the first); Pause/Resume, Stop, Fade Out (five seconds, then the
// next track); volume and balance; the position text. A read error (the door opened) stops
// playback with a message. The engine's sync procedures run on the engine's threads and only
// post their work to the window thread. Window thread only otherwise.
#pragma once

#include <QObject>

#include "cd/cd_session.h"

class QLabel;
class QSlider;

namespace cd {

class TrackListPanel;

struct PlaybackWidgets {
    QSlider* SliderVolume;
    QLabel* lblVolume;
    QSlider* SliderBalance;
    QLabel* lblBalance;
    QLabel* lblTrackPosition;
};

class PlaybackPanel : public QObject {
    Q_OBJECT
  public:
    PlaybackPanel(CdSession& session, const PlaybackWidgets& widgets, TrackListPanel& tracks,
                  QObject* parent);

    void PlayTrack(int track);
    void PlayNextTrack(int current);
    void PauseResume();
    void StopTrack();
    void FadeOutTrack();
    void CDError();
    // The position and length of the current stream (every timer tick).
    void updatePositionLabel();
    // How far a track being ripped is, in place of the position.
    void showProgress(int64_t done, int64_t total);
    // The engine's volume, at load.
    void showEngineVolume(int volume);
    // Tracks asked to play whose opening off the window thread has not ended yet.
    int pending() const { return pending_; }

  private:
    void SliderVolume_Change(int value);
    void SliderBalance_Scroll(int value);
    void showVolumeLabel(int value);

    // Sync procedures handed to the engine.
    static void TrackEndSync(HSYNC handle, DWORD channel, DWORD data, void* user);
    static void CDErrorSync(HSYNC handle, DWORD channel, DWORD data, void* user);

    CdSession& session_;
    PlaybackWidgets w_;
    TrackListPanel& tracks_;
    int pending_ = 0;
};

}  // namespace cd
