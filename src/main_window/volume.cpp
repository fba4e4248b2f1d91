// Volume, mute and channels: the volume bar and the audio menu write the wave-out level at
// once. The program keeps no level of its own; the state is the bar's position and the
// menu's check marks, captions and enabled states.

#include <QAction>
#include <QSlider>

#include <cstdint>

#include "main_window/main_window.h"
#include "platform/error_box.h"
#include "playback/media_player.h"

namespace main_window {
namespace {

// Packed levels: low 16 bits left, high 16 bits right. Only the high byte of each half is
// ever written, so "full" is 0xFF00.
constexpr std::uint32_t kSilent = 0;
constexpr std::uint32_t kStereo = 0xFF00FF00u;
constexpr std::uint32_t kLeftOnly = 0x0000FF00u;
constexpr std::uint32_t kRightFull = 0xFF000000u;
constexpr int kVolumeStep = 60;

}  // namespace

void TForm1::connectVolume() {
    bind(N32, &TForm1::N32Click);
    bind(N28, &TForm1::N28Click);
    bind(N29, &TForm1::N29Click);
    bind(N30, &TForm1::N30Click);
    bind(N31, &TForm1::N31Click);
    bind(N33, &TForm1::N33Click);
    connect(TrackBar2, &QSlider::valueChanged, this,
            platform::guarded(this, &TForm1::TrackBar2Change));
    // A key press, a click beside the thumb or a drag is a change notification even when the
    // bar is already where it would go (louder keys at 255): the bar's level is written again.
    // When the position does move, valueChanged follows and writes it once.
    connect(TrackBar2, &QSlider::actionTriggered, this, [this](int) {
        if (TrackBar2->sliderPosition() == TrackBar2->value()) {
            platform::runGuarded(&TForm1::TrackBar2Change, this);
        }
    });
}

void TForm1::TrackBar2Change() {
    const auto p = static_cast<std::uint32_t>(TrackBar2->value());
    playback::setWaveOutVolume((p << 24) | (p << 8));
}

// The bar clamps to its range; when it cannot move, nothing changes and nothing is written.
void TForm1::N28Click() {
    TrackBar2->setValue(TrackBar2->value() + kVolumeStep);
}

void TForm1::N29Click() {
    TrackBar2->setValue(TrackBar2->value() - kVolumeStep);
}

void TForm1::N32Click() {
    if (!N32->isChecked()) {
        N32->setChecked(true);
        setCaption(N32, QStringLiteral(u"取消静音"));
        for (QAction* item : {N28, N29, N30, N31, N33}) item->setEnabled(false);
        for (QAction* item : {N30, N31, N33}) item->setChecked(false);
        TrackBar2->setEnabled(false);
        playback::setWaveOutVolume(kSilent);
        return;
    }
    // Un-mute always comes back in stereo at full level, whatever the bar shows.
    N32->setChecked(false);
    setCaption(N32, QStringLiteral(u"静音"));
    for (QAction* item : {N28, N29, N30, N31, N33}) item->setEnabled(true);
    N33->setChecked(true);
    TrackBar2->setEnabled(true);
    playback::setWaveOutVolume(kStereo);
}

void TForm1::N30Click() {
    N30->setChecked(true);
    N31->setChecked(false);
    N33->setChecked(false);
    playback::setWaveOutVolume(kLeftOnly);
}

void TForm1::N31Click() {
    N30->setChecked(false);
    N31->setChecked(true);
    N33->setChecked(false);
    // The left half is whatever the device reports after silencing it.
    playback::setWaveOutVolume(kSilent);
    const std::uint32_t readBack = playback::waveOutVolume();
    playback::setWaveOutVolume((readBack & 0xFFFFu) | kRightFull);
}

void TForm1::N33Click() {
    N30->setChecked(false);
    N31->setChecked(false);
    N33->setChecked(true);
    playback::setWaveOutVolume(kStereo);
}

}  // namespace main_window
