// Looks like a Qt platform plugin named "marker" to Qt's plugin loader; when
// a process loads it, it creates the file named by ULVO_MARKER_FILE.
#include <QObject>
#include <QtPlugin>

#include <cstdio>
#include <cstdlib>

namespace {

struct LeaveMark {
  LeaveMark() {
    if (const char* path = std::getenv("ULVO_MARKER_FILE"))
      if (std::FILE* file = std::fopen(path, "w")) std::fclose(file);
  }
} leaveMark;

}  // namespace

class MarkerPlatformPlugin : public QObject {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QPA.QPlatformIntegrationFactoryInterface.5.3" FILE
                    "MarkerPlatformPlugin.json")
};

#include "MarkerPlatformPlugin.moc"
