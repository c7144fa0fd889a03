#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

// Exact playing time of MPEG audio (layers I-III, MPEG 1/2/2.5) found by walking every
// frame: headerless VBR files carry no length, and a length guessed from the bitrate of
// the first frames can be off by a third. A leading ID3v2 tag is skipped, garbage between
// frames is stepped over, a cut-off last frame and tags at the end are ignored. When a
// LAME tag tells the encoder delay and padding, they are taken off so the answer matches
// the samples that were encoded. Empty when the data is not MPEG audio, or when `keepGoing`,
// asked every few thousand frames, said to stop: a long file on slow storage takes seconds.
std::optional<double> mp3Duration(std::span<const std::uint8_t> data,
                                  const std::function<bool()>& keepGoing = {});

// The same for a file on disk, read a piece at a time: a file cut short meanwhile just ends
// there. Empty when it cannot be read or is not MPEG audio.
std::optional<double> mp3FileDuration(const QString& path,
                                      const std::function<bool()>& keepGoing = {});
