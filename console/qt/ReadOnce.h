#pragma once
// KELTA_Dispaly --read-once COM<N>: the window driven once as an operator would drive it, for
// checks where nobody can click (an installed package started offscreen). The port is typed
// into the port box, Connect clicked, then "#READ" until the first angle arrives, "#STOP",
// and the window closed as by its title bar, which saves "UserSet.dat" as every close does.

#include <QString>

#include <optional>

namespace kelta {

class TFVANTORIS;

// The port named after "--read-once" among the program's arguments (without the program's
// name), or nothing when the option is not there. Throws std::invalid_argument when it has no
// port, or for any other argument.
std::optional<QString> ReadOncePort(const QStringList& args);

// Starts the drive once the event loop runs. The angle goes to stdout ("angle <value>"); when
// none arrives within timeoutMs, or the connection fails, the program's loops end with exit
// code 1 and a line on stderr.
void StartReadOnce(TFVANTORIS& window, const QString& port, int timeoutMs = 20000);

}  // namespace kelta
