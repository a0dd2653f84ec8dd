// A zone's chosen background picture lands in the background folder under a
// name of its own, and the old one goes only after the record was stored.
#include "RDGroup.h"
#include "Velmar.h"
#include "VelmarBackgroundStore.h"
#include "VelmarFixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>

namespace {

void writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(data);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

struct Scene
{
    QString bg;     // background folder
    QString pick;   // folder the operator picks from
    RDGroup zone;
    QString chosen; // path the dialog returns
    bool storeOk = true;
};

struct Case
{
    const char *name;
    std::function<void(Scene &)> arrange;
    bool ok;
    bool keepsName;           // stored name equals the zone's old one
    QByteArray shown;         // what the zone's picture holds afterwards
    bool nameHasDot;          // the new name carries a suffix
};

bool makeUnwritable(const QString &dir)
{
    QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QFile probe(dir + QStringLiteral("/probe"));
    if (probe.open(QIODevice::WriteOnly)) { // root ignores folder permissions
        probe.remove();
        return false;
    }
    return true;
}

TEST(VelmarBackgroundStoreTest, StoresNewPictureBeforeDroppingOld)
{
    const Case cases[] = {
        {"leftover of an old zone is not taken for the new zone",
         [](Scene &s) {
             writeFile(s.bg + "/3000.png", "old zone");
             writeFile(s.pick + "/b.png", "bee");
             s.chosen = s.pick + "/b.png";
         },
         true, false, "bee", true},
        {"current picture picked again by another path is kept",
         [](Scene &s) {
             writeFile(s.bg + "/3000-1.png", "current");
             s.zone.backgroundImage = "3000-1.png";
             s.chosen = s.bg + "/../bg/./3000-1.png";
         },
         true, true, "current", true},
        {"a second picture replaces the first",
         [](Scene &s) {
             writeFile(s.bg + "/3000-1.png", "first");
             s.zone.backgroundImage = "3000-1.png";
             writeFile(s.pick + "/c.png", "second");
             s.chosen = s.pick + "/c.png";
         },
         true, false, "second", true},
        {"read-only background folder leaves record and picture",
         [](Scene &s) {
             writeFile(s.bg + "/3000-1.png", "current");
             s.zone.backgroundImage = "3000-1.png";
             writeFile(s.pick + "/c.png", "new");
             s.chosen = s.pick + "/c.png";
             if (!makeUnwritable(s.bg)) // cannot deny root: let the source vanish instead
                 s.chosen = s.pick + "/gone.png";
         },
         false, true, "current", true},
        {"refused store leaves record and picture",
         [](Scene &s) {
             writeFile(s.bg + "/3000-1.png", "current");
             s.zone.backgroundImage = "3000-1.png";
             writeFile(s.pick + "/c.png", "new");
             s.chosen = s.pick + "/c.png";
             s.storeOk = false;
         },
         false, true, "current", true},
        {"dotted folder gives a name without a bogus suffix",
         [](Scene &s) {
             writeFile(s.pick + "/shots.v2/photo", "raw");
             s.chosen = s.pick + "/shots.v2/photo";
         },
         true, false, "raw", false},
    };

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        ASSERT_TRUE(root.isValid());
        Scene s;
        s.bg = root.filePath("bg");
        s.pick = root.filePath("pick");
        QDir().mkpath(s.bg);
        s.zone.id = 7;
        s.zone.conference = "3000";
        c.arrange(s);
        const RDGroup before = s.zone;
        const QStringList filesBefore = QDir(s.bg).entryList(QDir::Files);

        QString storedName = "<not stored>";
        VelmarBackgroundStore store(s.bg, [&](const RDGroup &g) {
            if (s.storeOk)
                storedName = g.backgroundImage;
            return s.storeOk;
        });
        const bool ok = store.apply(s.zone, s.chosen);
        QFile::setPermissions(s.bg, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(s.zone.backgroundImage == before.backgroundImage, c.keepsName) << s.zone.backgroundImage.toStdString();
        EXPECT_EQ(readFile(s.bg + "/" + s.zone.backgroundImage), c.shown);
        if (ok) {
            EXPECT_EQ(storedName, s.zone.backgroundImage);
            if (!c.keepsName) {
                EXPECT_TRUE(s.zone.backgroundImage.startsWith("3000-")) << s.zone.backgroundImage.toStdString();
                EXPECT_EQ(s.zone.backgroundImage.contains('.'), c.nameHasDot);
                if (!before.backgroundImage.isEmpty()) {
                    EXPECT_FALSE(QFileInfo::exists(s.bg + "/" + before.backgroundImage)) << "old picture left behind";
                }
            }
        } else {
            EXPECT_EQ(storedName, QString("<not stored>"));
            EXPECT_EQ(QDir(s.bg).entryList(QDir::Files), filesBefore) << "failed store left files behind";
        }
        if (c.keepsName) {
            EXPECT_EQ(QDir(s.bg).entryList(QDir::Files), filesBefore);
        }
    }
}

TEST(VelmarBackgroundStoreTest, ClearingRemovesPictureOnlyAfterStore)
{
    for (const bool storeOk : {true, false}) {
        SCOPED_TRACE(storeOk);
        QTemporaryDir root;
        const QString bg = root.filePath("bg");
        writeFile(bg + "/3000-1.png", "current");
        RDGroup zone;
        zone.id = 7;
        zone.conference = "3000";
        zone.backgroundImage = "3000-1.png";
        VelmarBackgroundStore store(bg, [&](const RDGroup &g) { return storeOk && g.backgroundImage.isEmpty(); });
        EXPECT_EQ(store.apply(zone, QString()), storeOk);
        EXPECT_EQ(zone.backgroundImage.isEmpty(), storeOk);
        EXPECT_EQ(QFileInfo::exists(bg + "/3000-1.png"), !storeOk);
    }
}

// The central object stores the picture's name in the zone's record.
class VelmarGroupBackgroundTest : public VelmarFixture
{
};

TEST_F(VelmarGroupBackgroundTest, StoredNameReachesTheDatabase)
{
    const QVector<RDGroup> groups = m_velmar->getGroups();
    ASSERT_FALSE(groups.isEmpty());
    RDGroup zone = groups.first();
    QTemporaryDir pick;
    writeFile(pick.filePath("b.png"), "bee");

    ASSERT_TRUE(m_velmar->storeGroupBackground(zone, pick.filePath("b.png")));
    const QString stored = Velmar::backgroundDir() + "/" + zone.backgroundImage;
    EXPECT_EQ(readFile(stored), QByteArray("bee"));
    QString inDatabase;
    for (const RDGroup &g : m_velmar->getGroups())
        if (g.id == zone.id)
            inDatabase = g.backgroundImage;
    EXPECT_EQ(inDatabase, zone.backgroundImage);
    EXPECT_FALSE(inDatabase.isEmpty());

    ASSERT_TRUE(m_velmar->storeGroupBackground(zone, QString()));
    EXPECT_FALSE(QFileInfo::exists(stored));
}

} // namespace
