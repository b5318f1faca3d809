// The board's entry in the device directory: $XDG_CONFIG_HOME/korvane/devices/COMn, a symbolic link
// to the line the board serves, through which a client opens "\\.\COMn".
#pragma once

#include <string>

namespace board {

/// The device directory, as the serial layer resolves "\\.\COMn": $XDG_CONFIG_HOME/korvane/devices,
/// with ~/.config when XDG_CONFIG_HOME is unset, empty or relative. Empty when no home is known.
std::string DevicesDir();

/// A link COMn -> device that this object made. It never removes a link it did not make, nor one
/// that has been pointed elsewhere since.
class ComLink {
public:
    ComLink() = default;
    /// Removes the link (see Remove).
    ~ComLink();
    ComLink(const ComLink&) = delete;
    ComLink& operator=(const ComLink&) = delete;

    /// Links COM`com` to `target`, creating the device directory when needed. A link that already
    /// points to `target` is taken over; one that points elsewhere is replaced only with `force`.
    /// Returns an empty string, or a message saying what is in the way and what to do.
    std::string Create(int com, const std::string& target, bool force);
    /// Removes the link when it still points to the target it was made for; then forgets it.
    void Remove();
    /// The link's path; empty when there is none.
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    std::string m_target;
};

} // namespace board
