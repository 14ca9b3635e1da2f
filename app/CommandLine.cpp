#include "app/CommandLine.h"

#include "app/OnlinePlay.h"

namespace {

std::optional<uint16_t> ParsePort(const QString& text) {
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value < 1 || value > 65535) return std::nullopt;
    return uint16_t(value);
}

bool ParseOnline(const QString& target, TLaunchOptions& options) {
    if (!ParseOnlineServer(target)) {
        options.Error = target.isEmpty()
                            ? QStringLiteral("--online needs the server, as HOST or HOST:PORT")
                            : QStringLiteral("--online: \"%1\" is not HOST or HOST:PORT").arg(target);
        return false;
    }
    options.Online = target;
    return true;
}

} // namespace

QString CommandLineHelp() {
    return QStringLiteral(
               "Usage: vantaro [--host [PORT] | --join HOST[:PORT] | --online HOST[:PORT]]\n"
               "\n"
               "  --host [PORT]      open a network table and wait for a player (port %1 if none is given)\n"
               "  --join HOST[:PORT] join the table of a player who hosts one (an IPv6 address\n"
               "                     goes in brackets when a port follows: [::1]:%1)\n"
               "  --online HOST[:PORT]\n"
               "                     open the lobby of a game server (port %2 if none is given)\n"
               "  --help             show this text\n"
               "\n"
               "Without options the game starts at one keyboard; File > Rules chooses the game type.\n")
        .arg(TNetworkChoice::DefaultPort)
        .arg(TOnlineServer::DefaultPort);
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
            // HOST:PORT, but a bare IPv6 address (more than one colon) is all
            // host; in brackets, as in web addresses, it may take a port.
            std::optional<QString> portText;
            if (target.startsWith(QLatin1Char('['))) {
                const qsizetype close = target.indexOf(QLatin1Char(']'));
                const QString rest = close < 0 ? QString() : target.mid(close + 1);
                if (close < 0 || !(rest.isEmpty() || rest.startsWith(QLatin1Char(':')))) {
                    options.Error = QStringLiteral("--join: \"%1\" is not HOST or HOST:PORT").arg(target);
                    return options;
                }
                join.Address = target.mid(1, close - 1);
                if (!rest.isEmpty()) portText = rest.mid(1);
            } else if (target.count(QLatin1Char(':')) == 1) {
                const qsizetype colon = target.indexOf(QLatin1Char(':'));
                join.Address = target.left(colon);
                portText = target.mid(colon + 1);
            }
            if (portText) {
                const std::optional<uint16_t> port = ParsePort(*portText);
                if (!port) {
                    options.Error =
                        QStringLiteral("--join: \"%1\" is not a port from 1 to 65535").arg(*portText);
                    return options;
                }
                join.Port = *port;
            }
            if (join.Address.isEmpty()) {
                options.Error = QStringLiteral("--join needs the host to join, as HOST or HOST:PORT");
                return options;
            }
            options.Network = join;
        } else if (argument == QLatin1String("--online")) {
            if (!ParseOnline(hasNext ? arguments[++i] : QString(), options)) return options;
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
