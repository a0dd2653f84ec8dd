#include "RDLocalize.h"
#include "TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

class RDLocalizeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        RDLocalize::setLanguageDir(m_dir.path());
    }
    void TearDown() override
    {
        RDLocalize::setLanguageDir(QString());
        RDLocalize::setLanguage(QStringLiteral("English"));
    }
    void writeFile(const QString &name, const QByteArray &content)
    {
        QFile f(m_dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(content), content.size());
    }
    QTemporaryDir m_dir;
};

TEST_F(RDLocalizeTest, LaterKeyWinsAndLookupIgnoresCase)
{
    writeFile("French.txt", "Open=Abrir\nOPEN=Ouvrir\nSave=Enregistrer\r\n");
    ASSERT_TRUE(RDLocalize::setLanguage("French"));
    EXPECT_EQ(RDLocalize::language(), "French");
    for (const char *key : {"Open", "OPEN", "open"})
        EXPECT_EQ(RDLocalize::text(key), "Ouvrir") << key;
    EXPECT_EQ(RDLocalize::text("Save"), "Enregistrer"); // CR LF line ending
    EXPECT_EQ(RDLocalize::lookup("Missing Key"), "Missing Key");
}

TEST_F(RDLocalizeTest, LineCleaningRules)
{
    writeFile("T.txt",
              "a=b=c\n"
              "  \"Quoted\" = \"Entre guillemets\" ; ;\n"
              "\tTab=Tabulation\n"
              "NoEquals\n"
              "   \n"
              "Kept=Oui\n"
              "\n"
              "After=Never\n");
    ASSERT_TRUE(RDLocalize::setLanguage("T"));
    EXPECT_EQ(RDLocalize::text("a"), "a");
    EXPECT_EQ(RDLocalize::text("Quoted"), "Entre guillemets");
    EXPECT_EQ(RDLocalize::text("Tab"), "Tab"); // the tab stays in the key
    EXPECT_EQ(RDLocalize::text("\tTab"), "Tabulation");
    EXPECT_EQ(RDLocalize::text("Kept"), "Oui"); // a line of blanks does not end the file
    EXPECT_EQ(RDLocalize::text("After"), "After"); // the empty line does
}

TEST_F(RDLocalizeTest, FileNameFromLanguageName)
{
    writeFile("Lang.txt", "K=plain\n");
    writeFile("Lang.TXT.txt", "K=upper\n");
    struct Case { const char *name; bool ok; const char *text; };
    const Case cases[] = {
        {"Lang", true, "plain"},
        {"Lang.txt", true, "plain"},
        {"Lang.TXT", true, "upper"},
        {"Nope", false, "K"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(RDLocalize::setLanguage(c.name), c.ok) << c.name;
        EXPECT_EQ(RDLocalize::text("K"), c.text) << c.name;
    }
}

TEST_F(RDLocalizeTest, LanguagesListsTxtFilesWithTheirOwnTexts)
{
    writeFile("english.txt", "Deutsch=German\n");
    writeFile("Deutsch.txt", "");
    writeFile(".txt", "");
    writeFile("notes.md", "");
    ASSERT_TRUE(RDLocalize::setLanguage("english"));
    QStringList names{"stale"}, texts{"stale"};
    RDLocalize::languages(names, texts);
    EXPECT_EQ(names, (QStringList{".txt", "Deutsch", "english"}));
    EXPECT_EQ(texts, (QStringList{".txt", "German", "english"}));
}

class Probe : public RDLocalize
{
public:
    Probe(QVector<int> *log, int id) : m_log(log), m_id(id) {}
    void languageChanged() override
    {
        m_log->append(m_id);
        if (victim) {
            delete victim;
            victim = nullptr;
        }
        if (spawn)
            spawned.reset(new Probe(m_log, 99));
    }
    Probe *victim = nullptr;
    bool spawn = false;
    std::unique_ptr<Probe> spawned;

private:
    QVector<int> *m_log;
    int m_id;
};

TEST_F(RDLocalizeTest, ChangeLanguageTellsLiveInstancesInOrder)
{
    writeFile("X.txt", "A=B\n");
    QVector<int> log;
    Probe first(&log, 1);
    auto *second = new Probe(&log, 2);
    Probe third(&log, 3);
    first.victim = second; // destroyed by the first hook: must not be called
    third.spawn = true;    // made during the walk: not called by it
    ASSERT_TRUE(RDLocalize::changeLanguage("X"));
    EXPECT_EQ(log, (QVector<int>{1, 3}));
    EXPECT_EQ(RDLocalize::text("a"), "B");
}

} // namespace
