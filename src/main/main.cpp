// Program entry: start-up and shut-down of the PA controller.
#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Velmar");
    QApplication::setApplicationName("Velmar");
    return 0;
}
