#include "dialog/live_status.h"

#include <QStringList>

#include "dialog/table_model.h"

namespace {

QString Counted(std::uint64_t count, const char* one, const char* many) {
  return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

QString TcpWords(const wayloom::LiveStatus& status) {
  const wayloom::LiveCounts& counts = status.counts;
  const std::size_t wanted = status.settings.waitClients;
  if (status.running && counts.fixesSent == 0 && wanted > 0) {
    return QStringLiteral("waiting for %1, %2 connected")
        .arg(Counted(wanted, "client", "clients"))
        .arg(counts.clients);
  }
  const QString served = Counted(counts.tcp.served, "client served", "clients served");
  if (!status.running) return served;
  return Counted(counts.clients, "client connected", "clients connected") + QStringLiteral(", ") +
         served;
}

QString PtyWords(const wayloom::LiveStatus& status) {
  const wayloom::LiveCounts& counts = status.counts;
  QString words;
  if (status.running) {
    words = counts.ptyReaderOpen ? QStringLiteral("a reader has it open")
                                 : QStringLiteral("no reader has it open");
  }
  if (counts.fixesLeftOutForPty > 0) {
    if (!words.isEmpty()) words += QStringLiteral(", ");
    words += Counted(counts.fixesLeftOutForPty, "fix left out for a slow reader",
                     "fixes left out for a slow reader");
  }
  return words;
}

QString UdpWords(const wayloom::LiveStatus& status) {
  QString words = Counted(status.counts.datagramsSent, "datagram sent", "datagrams sent");
  if (status.counts.datagramsLost > 0) {
    words += QStringLiteral(", %1 not taken by the system").arg(status.counts.datagramsLost);
  }
  return words;
}

// The outputs the window words itself, in the order the live outputs open them and so list
// their endpoints; serial ports and the emulator's console follow in the outputs' own words.
struct OutputWords {
  bool (*opened)(const wayloom::LiveSettings& settings);
  const char* kind;  // before the endpoint
  QString (*words)(const wayloom::LiveStatus& status);
};
const OutputWords kOutputs[] = {
    {[](const wayloom::LiveSettings& s) { return s.serve; }, "TCP", TcpWords},
    {[](const wayloom::LiveSettings& s) { return !s.ptyLink.empty(); }, "pseudo-terminal",
     PtyWords},
    {[](const wayloom::LiveSettings& s) { return s.udp; }, "UDP to", UdpWords},
};

}  // namespace

QString LiveStatusText(const wayloom::LiveStatus& status) {
  const QString state = status.running   ? QStringLiteral("Sending")
                        : status.stopped ? QStringLiteral("Stopped")
                                         : QStringLiteral("Ended");
  QString text = state + QStringLiteral(": ") +
                 Counted(status.counts.sentencesSent, "sentence sent", "sentences sent");
  if (!status.description.empty()) {
    text += QStringLiteral(", last point: %1").arg(TextFromBytes(status.description));
  }
  QStringList lines{text};
  std::size_t listed = 0;  // the outputs' own lines the window's words stand for
  for (const OutputWords& output : kOutputs) {
    if (!output.opened(status.settings)) continue;
    QString line = QLatin1String(output.kind);
    if (output.words == PtyWords) {
      line += QLatin1Char(' ') + TextFromBytes(status.settings.ptyLink);
    } else if (listed < status.endpoints.size()) {
      line += QLatin1Char(' ') + TextFromBytes(status.endpoints[listed]);
    }
    ++listed;
    const QString words = output.words(status);
    lines << (words.isEmpty() ? line : line + QStringLiteral(": ") + words);
  }
  for (std::size_t i = listed; i < status.counts.statuses.size(); ++i) {
    lines << TextFromBytes(status.counts.statuses[i]);
  }
  for (const std::string& note : status.notes) lines << TextFromBytes(note);
  return lines.join(QStringLiteral(".\n")) + QLatin1Char('.');
}
