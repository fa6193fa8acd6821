#include "cd/playback_panel.h"

#include <QLabel>
#include <QPointer>
#include <QSlider>
#include <QThreadPool>
#include <cstdlib>

#include "cd/cd_messages.h"
#include "cd/track_list_panel.h"
#include "disc/basscd.h"
#include "platform/platform.h"
#include "platform/window_thread.h"
#include "rip/track_list.h"

namespace cd {

namespace {

// The panel the engine's syncs report to (one CD window at a time).
QPointer<PlaybackPanel> gPanel;

}  // namespace

PlaybackPanel::PlaybackPanel(CdSession& session, const PlaybackWidgets& widgets,
                             TrackListPanel& tracks, QObject* parent)
    : QObject(parent), session_(session), w_(widgets), tracks_(tracks) {
    gPanel = this;
    connect(w_.SliderVolume, &QSlider::valueChanged, this, &PlaybackPanel::SliderVolume_Change);
    connect(w_.SliderBalance, &QSlider::valueChanged, this, &PlaybackPanel::SliderBalance_Scroll);
}

// The track is opened and started off the window thread: opening it reads the disc's table of
// contents and starting it reads its first sectors, which a drive spinning up or a scratched
// sector can hold for seconds. The stream becomes the window's current one (on the window thread,
// before it starts, so that a read error at once is reported for it) only while it is still the
// last track asked for; one asked for after it, a Stop or the window's end free it instead.
void PlaybackPanel::PlayTrack(int track) {
    session_.stopPlaying();
    const int request = ++*session_.playRequest;
    ++pending_;
    QThreadPool::globalInstance()->start([drive = session_.currentDrive, track, request,
                                          latest = session_.playRequest,
                                          volume = -w_.SliderVolume->value()] {
        const auto stale = [&] { return latest->load() != request; };
        const HSTREAM channel =
            stale() ? 0 : BASS_CD_StreamCreate(DWORD(drive), DWORD(track), BASS_STREAM_AUTOFREE);
        if (channel) {
            BASS_ChannelSetAttributes(channel, -1, volume, -101);
            // The syncs come before playback starts: a read that fails at once is reported too.
            void* user = reinterpret_cast<void*>(intptr_t(track));
            BASS_ChannelSetSync(channel, BASS_SYNC_CD_ERROR | BASS_SYNC_ONETIME, 0, CDErrorSync,
                                nullptr);
            BASS_ChannelSetSync(channel, BASS_SYNC_END | BASS_SYNC_ONETIME, 0, TrackEndSync, user);
            BASS_ChannelSetSync(channel, BASS_SYNC_SLIDE | BASS_SYNC_ONETIME, 0, TrackEndSync,
                                user);
            platform::postToWindowThread([channel, request, latest] {
                PlaybackPanel* p = gPanel.data();
                if (p && p->session_.playRequest == latest && !p->session_.closed &&
                    latest->load() == request) {
                    p->session_.currentChannel = channel;
                    // The volume as it is now, if it was moved meanwhile.
                    BASS_ChannelSetAttributes(channel, -1, -p->w_.SliderVolume->value(), -101);
                } else {
                    BASS_StreamFree(channel);
                }
            });
            if (!stale()) BASS_ChannelPlay(channel, 1);
        }
        platform::postToWindowThread([latest] {
            // The panel that asked (not one of a CD window opened since).
            if (PlaybackPanel* p = gPanel.data(); p && p->session_.playRequest == latest)
                --p->pending_;
        });
    });
}

void PlaybackPanel::PlayNextTrack(int current) {
    const int count = tracks_.count();
    if (count == 0) return;  // the list was emptied (door opened, read error): nothing to play
    const int next = current >= count - 1 ? 0 : current + 1;
    tracks_.selectQuietly(next);
    PlayTrack(next);
}

void PlaybackPanel::PauseResume() {
    if (BASS_ChannelIsActive(session_.currentChannel) == BASS_ACTIVE_PAUSED)
        BASS_ChannelPlay(session_.currentChannel, 0);
    else
        BASS_ChannelPause(session_.currentChannel);
}

void PlaybackPanel::StopTrack() {
    session_.stopPlaying();
}

void PlaybackPanel::CDError() {
    session_.stopPlaying();
    BASS_StreamFree(session_.currentChannel);
    platform::message(
        CdText::tr("There was an error playing back and Audio CD stream. Most probable cause is "
                   "the CD drive was opened.")
            .toStdString(),
        CdText::tr("Error").toStdString(), platform::Icon::Critical);
    tracks_.clear();
}

void PlaybackPanel::FadeOutTrack() {
    BASS_ChannelSlideAttributes(session_.currentChannel, -1, 0, -101, 5000);
}

// The engine calls these on its own threads: the work is posted to the window thread, where it
// runs only if the sync's stream is still the window's current one (a stream replaced in the
// meantime does not move the playback on).
void PlaybackPanel::TrackEndSync(HSYNC, DWORD channel, DWORD, void* user) {
    const int track = int(reinterpret_cast<intptr_t>(user));
    platform::postToWindowThread([channel, track] {
        PlaybackPanel* p = gPanel.data();
        if (!p) return;
        const CdSession& s = p->session_;
        // A stream that failed also ends: that end does not move playback on.
        if (!s.closed && s.currentChannel == channel && s.failedChannel != channel)
            p->PlayNextTrack(track);
    });
}

void PlaybackPanel::CDErrorSync(HSYNC, DWORD channel, DWORD, void*) {
    platform::postToWindowThread([channel] {
        PlaybackPanel* p = gPanel.data();
        if (!p) return;
        CdSession& s = p->session_;
        if (!s.closed && s.currentChannel == channel && s.failedChannel != channel) {
            s.failedChannel = channel;
            p->CDError();
        }
    });
}

void PlaybackPanel::updatePositionLabel() {
    const DWORD channel = session_.currentChannel;
    const DWORD length = DWORD(BASS_ChannelGetLength(channel));
    const DWORD position = DWORD(BASS_ChannelGetPosition(channel));
    const float lengthSec = BASS_ChannelBytes2Seconds(channel, length);
    const float positionSec = BASS_ChannelBytes2Seconds(channel, position);
    const QString text = QString::fromUtf8(Seconds2HMS(int32_t(roundHalfEven(positionSec))) +
                                           " / " + Seconds2HMS(int32_t(roundHalfEven(lengthSec))));
    if (w_.lblTrackPosition->text() != text) w_.lblTrackPosition->setText(text);
}

void PlaybackPanel::showProgress(int64_t done, int64_t total) {
    w_.lblTrackPosition->setText(QString::fromUtf8(Seconds2HMS(lengthSeconds(done)) + " / " +
                                                   Seconds2HMS(lengthSeconds(total))));
}

void PlaybackPanel::showEngineVolume(int volume) {
    w_.SliderVolume->setValue(-volume);
    // Sliders show no value tip while dragged.
    w_.SliderBalance->setToolTip(QString());
    w_.SliderVolume->setToolTip(QString());
}

void PlaybackPanel::showVolumeLabel(int value) {
    w_.lblVolume->setText(QString("Volume : %1").arg(roundHalfEven(std::abs(value) / 10.0)));
}

void PlaybackPanel::SliderVolume_Change(int value) {
    BASS_ChannelSetAttributes(session_.currentChannel, -1, std::abs(value), -101);
    showVolumeLabel(value);
}

void PlaybackPanel::SliderBalance_Scroll(int value) {
    BASS_ChannelSetAttributes(session_.currentChannel, -1, -1, value);
    w_.lblBalance->setText(QString::number(value));
}

}  // namespace cd
