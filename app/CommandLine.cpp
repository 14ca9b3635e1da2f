#include "app/CommandLine.h"

namespace {

std::optional<uint16_t> ParsePort(const QString& text) {
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value < 1 || value > 65535) return std::nullopt;
    return uint16_t(value);
}

} // namespace

QString CommandLineHelp() {
    return QStringLiteral(
               "Usage: vantaro [--host [PORT] | --join HOST[:PORT]]\n"
               "\n"
               "  --host [PORT]      open a network table and wait for a player (port %1 if none is given)\n"
               "  --join HOST[:PORT] join the table of a player who hosts one\n"
               "  --help             show this text\n"
               "\n"
               "Without options the game starts at one keyboard; File > Rules chooses the game type.\n")
        .arg(TNetworkChoice::DefaultPort);
}

TLaunchOptions ParseCommandLine(const QStringList& arguments) {
    TLaunchOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool hasNext = i + 1 < arguments.size() && !arguments[i + 1].startsWith(QLatin1Char('-'));
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.Help = true;
        } else if (argument == QLatin1String("--host")) {
            TNetworkChoice host;
            if (hasNext) {
                const std::optional<uint16_t> port = ParsePort(arguments[++i]);
                if (!port) {
                    options.Error =
                        QStringLiteral("--host: \"%1\" is not a port from 1 to 65535").arg(arguments[i]);
                    return options;
                }
                host.Port = *port;
            }
            options.Network = host;
        } else if (argument == QLatin1String("--join")) {
            if (!hasNext) {
                options.Error = QStringLiteral("--join needs the host to join, as HOST or HOST:PORT");
                return options;
            }
            const QString target = arguments[++i];
            TNetworkChoice join;
            join.Join = true;
            join.Address = target;
            // HOST:PORT, but a bare IPv6 address (more than one colon) is all host.
            const qsizetype colon = target.lastIndexOf(QLatin1Char(':'));
            if (colon >= 0 && target.count(QLatin1Char(':')) == 1) {
                const std::optional<uint16_t> port = ParsePort(target.mid(colon + 1));
                if (!port) {
                    options.Error = QStringLiteral("--join: \"%1\" is not a port from 1 to 65535")
                                        .arg(target.mid(colon + 1));
                    return options;
                }
                join.Address = target.left(colon);
                join.Port = *port;
            }
            if (join.Address.isEmpty()) {
                options.Error = QStringLiteral("--join needs the host to join, as HOST or HOST:PORT");
                return options;
            }
            options.Network = join;
        } else if (argument.startsWith(QLatin1Char('-')) && !argument.startsWith(QLatin1String("--"))) {
            // The window toolkit's own options (-platform NAME, -style NAME ...) are its business.
            if (hasNext) ++i;
        } else {
            options.Error = QStringLiteral("unknown option \"%1\"").arg(argument);
            return options;
        }
    }
    return options;
}
