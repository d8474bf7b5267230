// French and Japanese: the real program under Wine with the language's locale,
// texts read back from the windows and compared byte for byte (UTF-8).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/e2e/harness.h"

using namespace e2e;
namespace fs = std::filesystem;

namespace {

struct Language {
    const char *locale;
    const char *appTitle;            // 1
    const char *usageCaption;        // 5
    const char *usageHeader;         // 7
    const char *confirmComplete;     // 9
    const char *confirmDeletion;     // 11
    const char *deletionTitle;       // 13
    const char *confirmSimpleDelete; // 17
    const char *confirmSimpleSetup;  // 19
    const char *copyInstall;         // 21
    const char *copyBackup;          // 23
    const char *copyFailed;          // 27
    const char *setupFailure;        // 100
    const char *unsupported;         // 110
    const char *unknownVersion;      // 112
    const char *factsUnknown;        // 116
    const char *sourceOpen;          // 120
    const char *driverFailed;        // 128
    const char *printerFailed;       // 132
    const char *deleteStep1;         // 142
    const char *deletionFailure;     // 160
    // Replace confirmation (600): caption, the fixed statics in order, Yes, No.
    const char *replaceCaption;
    std::vector<std::string> replaceLabels;
    const char *yes, *no;
    std::vector<std::string> copyLabels;  // 602
    const char *complete, *quit;          // 604
    const char *portCaption, *portLabel;  // 608
};

const Language kFrench = {
    "fr_FR.UTF-8",
    "Installation Driver",
    "Syntaxe de la commande",
    "\tSetup [/OS=version] [/UNINSTALL]\r\nou\tSetup [/OS=version] [/ONLYDELETEPRINTDEVICE]\r\nou\tSetup "
    "[/OS=version] [/ONLYADDPRINTDEVICE]\r\n\r\noù version peut prendre les valeurs :",
    "Confirmez l'installation complète de : Driver Tarv\r\nsur plateforme : %s",
    "Confirmez la suppression définitive de : Driver Tarv\r\nsur plateforme : %s",
    "Suppression Driver Tarv",
    "Confirmez la suppression simple de : Driver \r\nsur plateforme : %s\r\n(suppression du dispositif "
    "d'impression sans suppression des fichiers nécessaires à la réinstallation simple...)",
    "Confirmez l'installation simple de : Driver\r\nsur plateforme : %s\r\n(création du dispositif "
    "d'impression en utilisant les fichiers déjà présents sur le système...)",
    "Installation...",
    "Sauvegarde...",
    "Le fichier n'a pu être placee sur le répertoire adéquat.\r\nCeci peut perturber la suite de "
    "l'installation.\r\n\r\nSouhaitez-vous continuer l'installation?",
    "Erreur d'installation du Driver",
    "Cette version de Windows n'est pas gérée...",
    "Version de Windows inconnue (%lu / %lu.%lu)...",
    "Le fichier %s ne sera pas remplacee car il n'est pas possible de récupérer ses caractéristiques...",
    "Copie impossible : le fichier source n'a pu être ouvert...",
    "L'installation du pilote d'imprimante a échouee pour motif %lu...",
    "L'installation de l'imprimante a échouee pour motif %lu...",
    "La suppression de l'imprimante a échouee pour motif %lu phase 1...",
    "Erreur de suppression du pilote",
    "Confirmez l'écrasement du fichier...",
    { "Le fichier ", "est déjà présent sur le répertoire de destination.", "Taille ", "octets",
      "Dernière modification le ",
      "Souhaitez-vous le remplacer par le fichier présent sur le support d'installation ?", "Taille", "octets",
      "Dernière modification le " },
    "Oui", "Non",
    { "Copie de :", "Depuis :", "Vers :" },
    "L'installation est terminée !", "Fin",
    "Sélection du Port", "Port disponibles",
};

const Language kJapanese = {
    "ja_JP.UTF-8",
    "ﾀｰｳﾞ･ﾄﾞﾗｲﾊﾞのｾｯﾄｱｯﾌﾟ",
    "ｺﾏﾝﾄﾞ ｼﾝﾀｯｸｽ",
    "\tｾｯﾄｱｯﾌﾟ[/OS=ﾊﾞｰｼﾞｮﾝ] [/ｱﾝｲﾝｽﾄｰﾙ]\r\nor\tｾｯﾄｱｯﾌﾟ[/OS=ﾊﾞｰｼﾞｮﾝ] [/ﾌﾟﾘﾝﾀﾃﾞｨﾊﾞｲｽ削除]\r\nor\tｾｯﾄｱｯﾌﾟ"
    "[/OS=ﾊﾞｰｼﾞｮﾝ] [/ﾌﾟﾘﾝﾀﾃﾞｨﾊﾞｲｽ追加]\r\n\r\nﾊﾞｰｼﾞｮﾝは以下の値:",
    "完全ｾｯﾄｱｯﾌﾟは次の通りです。確認して下さい: ﾀｰｳﾞ･ﾄﾞﾗｲﾊﾞ\r\non platform : %s",
    "完全削除は次の通りです。確認して下さい: ﾀｰｳﾞ･ﾄﾞﾗｲﾊﾞ\r\non platform : %s",
    "ﾀｰｳﾞ・ﾄﾞﾗｲﾊﾞの削除",
    "簡易削除は次の通りです。確認して下さい: ﾀｰｳﾞ･ﾄﾞﾗｲﾊﾞ\r\non platform : %s\r\n"
    "(簡易ｾｯﾄｱｯﾌﾟに必要な削除されないﾌｧｲﾙのﾌﾟﾘﾝﾀﾃﾞｨﾊﾞｲｽ)",
    "簡易ｾｯﾄｱｯﾌﾟは次の通りです。確認して下さい: ﾀｰｳﾞ･ﾄﾞﾗｲﾊﾞ\r\non platform : %s\r\n"
    "(ﾌﾟﾘﾝﾀﾃﾞｨﾊﾞｲｽのｾｯﾄｱｯﾌﾟに使用する実存ﾌｧｲﾙ)",
    "ｾｯﾄｱｯﾌﾟ...",
    "保存...",
    "このﾌｧｲﾙはﾌｫﾙﾀﾞにｺﾋﾟｰ出来ませんでした。\r\n次のｾｯﾄｱｯﾌﾟのｽﾃｯﾌﾟで障害が発生します。\r\n\r\n継続しますか?",
    "ﾀｰｳﾞ ﾄﾞﾗｲﾊﾞのｾｯﾄｱｯﾌﾟ\u3000ｴﾗｰ",
    "このｳﾝﾄﾞｳｽﾞ ﾊﾞｰｼﾞｮﾝはまだｻﾎﾟｰﾄしていません...",
    "不明なｳﾝﾄﾞｳｽﾞ ﾊﾞｰｼﾞｮﾝ(%lu / %lu.%lu)...",
    "このファイル名 %s はﾌﾟﾛﾊﾟﾃｨが不明のため置換できません...",
    "ｺﾋﾟｰ不可: ｿｰｽﾌｧｲﾙがｵｰﾌﾟﾝできない...",
    "次の原因によりﾌﾟﾘﾝﾀ ﾄﾞﾗｲﾊﾞのｾｯﾄｱｯﾌﾟができません。 %lu...",
    "次の原因によりﾌﾟﾘﾝﾀのｾｯﾄｱｯﾌﾟができません。%lu...",
    "次の原因でﾌﾟﾘﾝﾀの削除ができません。 %lu step 1...",
    "ﾀｰｳﾞ ﾄﾞﾗｲﾊﾞの削除ｴﾗｰ",
    "ﾌｧｲﾙ置換の確認...",
    { "このファイルは", "既にこのフォルダに存在します。", "サイズ", "バイト", "更新日時", "新しいファイルを上書きしますか?",
      "サイズ", "バイト", "更新日時" },
    "はい", "いいえ",
    { "ｺﾋﾟｰ中:", "から :", "に :" },
    "ｾｯﾄｱｯﾌﾟ完了!", "クイット",
    "ポートの選択", "選択可能なポート",
};

const Language *const kLanguages[] = { &kFrench, &kJapanese };

const char kCodes[] = "\r\n\tWIN95\r\n\tWIN98\r\n\tWIN98\r\n\tWINNT351\r\n\tWINNT40\r\n\tWINNT50\r\n\tWINNTXP\r\n\tWIN32S";
const char kModel[] = "Corvan Tessik";

// Puts the arguments into the format's placeholders (%s, %lu), in order.
std::string Fill(const std::string &format, const std::vector<std::string> &args)
{
    std::string text;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); i++) {
        if (format[i] == '%' && next < args.size()) {
            text += args[next++];
            i += format.compare(i, 3, "%lu") == 0 ? 2 : 1;
        } else {
            text += format[i];
        }
    }
    return text;
}

Outcome RunIn(const Language &language, const std::string &tail, const std::vector<std::string> &answers,
              const std::string &version = "win2k", const std::string &faults = "")
{
    Options options;
    options.media = MakeMedia("lang", false);
    options.locale = language.locale;
    options.tail = tail;  // through the robot's ANSI argv: katakana arrive in code page 932
    options.answers = answers;
    options.version = version;
    if (!faults.empty()) {
        options.inject = true;
        options.env["TARV_FAULTS"] = faults;
    }
    Outcome run = RunSetup(options);
    EXPECT_FALSE(run.timedOut) << run.Describe();
    EXPECT_FALSE(run.unanswered) << run.Describe();
    EXPECT_EQ(run.unusedAnswers, 0) << run.Describe();
    return run;
}

void ExpectBox(const Window &box, const std::string &caption, const std::string &text, std::vector<int> buttons)
{
    EXPECT_TRUE(box.IsMessageBox());
    EXPECT_EQ(box.title, caption);
    EXPECT_EQ(box.MessageText(), text);
    EXPECT_EQ(box.Buttons(), buttons);
}

// Texts of the controls without an ID (labels; icons aside), in template order.
std::vector<std::string> Labels(const Window &dialog)
{
    const unsigned long kIconStyle = 0x3;  // SS_ICON
    std::vector<std::string> labels;
    for (const Control &control : dialog.controls)
        if (control.id == 65535 && !control.text.empty()
            && !(control.className == "Static" && (control.style & 0x1F) == kIconStyle))
            labels.push_back(control.text);
    return labels;
}

void RemoveModel()
{
    Probe({ "delete-printer", kModel });
    Probe({ "delete-driver", kModel });
}

}  // namespace

TEST(Languages, UsageListsTheCodesAfterTheTranslatedHeader)
{
    for (const Language *language : kLanguages) {
        SCOPED_TRACE(language->locale);
        Outcome run = RunIn(*language, "foo", { "click 1" });
        ASSERT_EQ(run.windows.size(), 1u) << run.Describe();
        ExpectBox(run.At(0), language->usageCaption, std::string(language->usageHeader) + kCodes, { 1 });
        ASSERT_FALSE(run.mainTitles.empty());
        EXPECT_EQ(run.mainTitles.front(), language->appTitle);
        EXPECT_EQ(run.exitCode, 1);
    }
}

TEST(Languages, JapaneseUsageNamesKatakanaSwitchesButTheCommandLineTakesTheEnglishOnes)
{
    // The switch as the Japanese usage writes it is an unknown token.
    Outcome katakana = RunIn(kJapanese, "/ｱﾝｲﾝｽﾄｰﾙ", { "click 1" });
    ASSERT_EQ(katakana.windows.size(), 1u) << katakana.Describe();
    EXPECT_EQ(katakana.At(0).title, kJapanese.usageCaption);

    Outcome english = RunIn(kJapanese, "/OS=WIN98 /uninstall", { "click 7" });
    ASSERT_EQ(english.windows.size(), 1u) << english.Describe();
    ExpectBox(english.At(0), "", Fill(kJapanese.confirmDeletion, { "Windows 98" }), { 6, 7 });
}

TEST(Languages, ConfirmationsOfEveryAction)
{
    for (const Language *language : kLanguages) {
        SCOPED_TRACE(language->locale);
        struct Case { const char *tail; const char *format; const char *platform; };
        const Case cases[] = {
            { "", language->confirmComplete, "Windows 2000" },
            { "/OS=WINNT40 /UNINSTALL", language->confirmDeletion, "Windows NT 4.0" },
            { "/OS=WIN95 /ONLYDELETEPRINTDEVICE", language->confirmSimpleDelete, "Windows 95" },
            { "/OS=WINNTXP /ONLYADDPRINTDEVICE", language->confirmSimpleSetup, "Windows XP" },
        };
        for (const Case &c : cases) {
            SCOPED_TRACE(c.tail);
            Outcome run = RunIn(*language, c.tail, { "click 7" });
            ASSERT_EQ(run.windows.size(), 1u) << run.Describe();
            ExpectBox(run.At(0), "", Fill(c.format, { c.platform }), { 6, 7 });
            EXPECT_EQ(run.exitCode, 1);
        }
    }
}

TEST(Languages, ShellFailuresCarryTheSetupFailureCaption)
{
    for (const Language *language : kLanguages) {
        SCOPED_TRACE(language->locale);
        Outcome unknown = RunIn(*language, "", { "click 1" }, "win7");
        ASSERT_EQ(unknown.windows.size(), 1u) << unknown.Describe();
        ExpectBox(unknown.At(0), language->setupFailure, Fill(language->unknownVersion, { "2", "6", "1" }), { 1 });

        Outcome unsupported = RunIn(*language, "", { "click 6", "click 1" }, "win31");
        ASSERT_EQ(unsupported.windows.size(), 2u) << unsupported.Describe();
        ExpectBox(unsupported.At(1), language->setupFailure, language->unsupported, { 1 });
    }
}

TEST(Languages, DeletionFailureCarriesTheDeletionCaption)
{
    RemoveModel();
    for (const Language *language : kLanguages) {
        SCOPED_TRACE(language->locale);
        // No queue of the model: opening it fails with ERROR_INVALID_PRINTER_NAME.
        Outcome run = RunIn(*language, "/OS=WINNT50 /ONLYDELETEPRINTDEVICE", { "click 6", "click 1" });
        ASSERT_EQ(run.windows.size(), 2u) << run.Describe();
        ExpectBox(run.At(1), language->deletionFailure, Fill(language->deleteStep1, { "1801" }), { 1 });
        EXPECT_NE(std::find(run.mainTitles.begin(), run.mainTitles.end(), language->deletionTitle),
                  run.mainTitles.end()) << run.Describe();
    }
}

TEST(Languages, PortAndCompletionDialogs)
{
    for (const Language *language : kLanguages) {
        SCOPED_TRACE(language->locale);
        RemoveModel();
        Outcome run = RunIn(*language, "/OS=WINNT50 /ONLYADDPRINTDEVICE",
                            { "click 6", "select-index 0;click 1", "click 1" });
        ASSERT_EQ(run.windows.size(), 3u) << run.Describe();
        const Window &port = run.At(1);
        EXPECT_EQ(port.title, language->portCaption);
        EXPECT_EQ(Labels(port), std::vector<std::string>{ language->portLabel });
        EXPECT_EQ(port.Text(1), "OK");
        EXPECT_EQ(port.Text(2), "Cancel");
        ASSERT_NE(port.Find(1018), nullptr);
        EXPECT_FALSE(port.Find(1018)->lines.empty());

        const Window &complete = run.At(2);
        EXPECT_EQ(complete.title, "");
        EXPECT_EQ(Labels(complete), std::vector<std::string>{ language->complete });
        EXPECT_EQ(complete.Text(1), language->quit);
        EXPECT_EQ(run.exitCode, 1);
    }
    RemoveModel();
}

TEST(Languages, RegistrationFailuresCarryTheSetupFailureCaption)
{
    for (const Language *language : kLanguages) {
        SCOPED_TRACE(language->locale);
        RemoveModel();
        // Wine accepts both registrations: each refusal is injected with its own number.
        Outcome run = RunIn(*language, "/OS=WINNT50 /ONLYADDPRINTDEVICE",
                            { "click 6", "select-index 0;click 1", "click 1", "click 1", "click 1" }, "win2k",
                            "AddPrinterDriverA=5,AddPrinterA=1797");
        ASSERT_EQ(run.windows.size(), 5u) << run.Describe();
        ExpectBox(run.At(2), language->setupFailure, Fill(language->driverFailed, { "5" }), { 1 });
        ExpectBox(run.At(3), language->setupFailure, Fill(language->printerFailed, { "1797" }), { 1 });
    }
    RemoveModel();
}

TEST(Languages, ReplaceAndCopyDialogs)
{
    for (const Language *language : kLanguages) {
        SCOPED_TRACE(language->locale);
        std::string media = WorkRoot() + "/lang-deploy";
        RemoveAll(media);
        fs::create_directories(media + "/drivers/Test");
        fs::create_directories(media + "/target");
        WriteFile(media + "/drivers/Test/Tarv.ini", "new data");
        WriteFile(media + "/target/Tarv.ini", "old");
        WriteFile(media + "/target/absent.dll", "kept");

        Options options;
        options.program = ToolsBin() + "/deploytest.exe";
        options.cwd = media;
        options.locale = language->locale;
        options.tail = "\"" + WinPath(media + "/target") + "\" \"" + WinPath(media + "/log.txt") +
                       "\" \"ask1,Test\\,Tarv.ini\" \"always,Test\\,missing.dll\" \"ask0,Test\\,absent.dll\"";
        options.answers = { "click 1013", "click 1", "click 6", "click 1" };
        Outcome run = RunSetup(options);
        // Replace, backup copy, install copy; the missing source: its copy,
        // the failure and the question; the asked entry whose new file is missing.
        ASSERT_EQ(run.windows.size(), 7u) << run.Describe();

        const Window &replace = run.At(0);
        EXPECT_EQ(replace.title, language->replaceCaption);
        EXPECT_EQ(Labels(replace), language->replaceLabels);
        EXPECT_EQ(replace.Text(1013), language->yes);
        EXPECT_EQ(replace.Text(1014), language->no);
        EXPECT_EQ(replace.Text(1009), "3");
        EXPECT_EQ(replace.Text(1011), "8");

        EXPECT_EQ(run.At(1).title, language->copyBackup);
        EXPECT_EQ(Labels(run.At(1)), language->copyLabels);
        EXPECT_EQ(run.At(1).Text(1016), "Tarv.bku");
        EXPECT_EQ(run.At(2).title, language->copyInstall);
        EXPECT_EQ(Labels(run.At(2)), language->copyLabels);
        EXPECT_EQ(run.At(3).title, language->copyInstall);

        ExpectBox(run.At(4), "missing.dll", language->sourceOpen, { 1 });
        ExpectBox(run.At(5), "missing.dll", language->copyFailed, { 6, 7 });
        ExpectBox(run.At(6), language->setupFailure, Fill(language->factsUnknown, { "absent.dll" }), { 1 });
        EXPECT_EQ(ReadFile(media + "/target/Tarv.ini"), "new data");
        EXPECT_EQ(ReadFile(media + "/target/absent.dll"), "kept");
    }
}
