// Another maker's updater: a configuration with an [UPDATER_PROGRAM] section
// gives the program its title in the about box, its language to the texts
// the code composes (the list heading, the search and the progress texts)
// and its own download places, which replace Tavrelon's; the configuration
// reader keeps within its buffers whatever the section holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/download_files.h"
#include "tests/app_run_fixture.h"

namespace {

using namespace testapp;

const char kMakerDownload1[] = "C:\\ProgramData\\Northwind\\Updates\\fonts.pkg";
const char kMakerDownload2[] = "D:\\Users\\Public\\NWT Fonts\\Cache\\fonts-2.pkg";
// Near misses: another name in the folder, the folder at the path's start.
const char kMakerNearMiss1[] = "C:\\ProgramData\\Northwind\\Updates\\fonts.pkg.old";
const char kMakerNearMiss2[] = "C:\\Northwind\\Updates\\fonts.pkg";

// The fixture's configuration with a section appended.
void AddSection(AppRun& run, const std::string& section) {
  platform::ResourceBytes bytes;
  ASSERT_TRUE(run.resources.Find("INIFILE", 2000, &bytes));
  std::string ini(reinterpret_cast<const char*>(bytes.data), bytes.size);
  ini += section;
  run.resources.Add("INIFILE", 2000, Bytes(ini.begin(), ini.end()));
}

// A maker's program run to its end on a disk that holds the maker's downloads
// and near misses besides Tavrelon's; the About box is opened on the way.
void RunMakerProgram(AppRun& run, const std::string& section) {
  AddSection(run, section);
  run.DefaultDisk();
  for (const char* path : {kMakerDownload1, kMakerDownload2, kMakerNearMiss1, kMakerNearMiss2}) {
    run.disk.AddFile(path, {11});
  }
  run.desktop.Answer(IDD_START_DIALOG, kOk);
  run.desktop.SystemCommand(IDD_OPENTYPEUPDATER_DIALOG, 16);
  run.desktop.Answer(IDD_ABOUTBOX, kOk);
  run.desktop.Answer(IDD_OPENTYPEUPDATER_DIALOG, kOk);
  run.desktop.Answer(IDD_NORMALEND_DIALOG, kCancel);
  EXPECT_EQ(kOk, run.RunMainDialog());
}

const char kEnglishSection[] =
    "[UPDATER_PROGRAM]\r\n"
    "TITLE=Northwind Font Updater\r\n"
    "MAKER=Northwind Type\r\n"
    "LANGUAGE=en\r\n"
    "DOWNLOAD_FOLDER1=\\Northwind\\Updates\\\r\n"
    "DOWNLOAD_FOLDER2=\\NWT Fonts\\Cache\\\r\n"
    "DOWNLOAD_FILE1=fonts.pkg\r\n"
    "DOWNLOAD_FILE3=fonts-2.pkg\r\n";

TEST(AppMakerProgram, AnEnglishProgramComposesItsTextsInEnglishAndCleansUpItsOwnDownloadsOnly) {
  AppRun run;
  RunMakerProgram(run, kEnglishSection);

  EXPECT_EQ(std::vector<std::string>{"Font name/600"}, run.desktop.Last(IDD_OPENTYPEUPDATER_DIALOG).columns);
  EXPECT_EQ("Northwind Font Updater Version 1.2.3", run.desktop.Last(IDD_ABOUTBOX).Text(IDC_ABOUT_VERSION));

  // Every search report and every progress point in English, in the
  // driver's order.
  const std::vector<std::string>& search = run.desktop.Last(IDD_WAIT_DIALOG).texts.at(IDC_SEARCH_TEXT);
  ASSERT_GE(search.size(), 2u);
  EXPECT_EQ("Searched drive C:\\", search[0]);
  EXPECT_EQ("Searched drive D:\\", search[1]);
  for (const std::string& text : search) {
    EXPECT_TRUE(text.rfind("Searched drive ", 0) == 0 || text.rfind("Searching ", 0) == 0) << text;
  }
  const DialogRecord& progress = run.desktop.Last(IDD_PROGRESS_DIALOG);
  const std::vector<std::string> steps = {"Opening SampleMaruProN-M",
                                          "Reading SampleMaruProN-M",
                                          "Table data read",
                                          "Opening SampleMaruProN-M",
                                          "Reading SampleMaruProN-M",
                                          "Writing the serial number to SampleMaruProN-M",
                                          "Recalculating the checksums of SampleMaruProN-M",
                                          "Creating SampleMaruProN-M",
                                          "Copying the file from the temporary folder"};
  const std::vector<std::string>& shown = progress.texts.at(IDC_STEP_TEXT);
  ASSERT_GE(shown.size(), steps.size());
  EXPECT_EQ(steps, std::vector<std::string>(shown.end() - static_cast<long>(steps.size()), shown.end()));
  EXPECT_EQ(std::string("Updating ") + kMaruPath, progress.Text(IDC_FILE_TEXT));
  EXPECT_EQ(run.revisions[2].newFont, run.Installed(kMaruPath));

  // The maker's own downloads go, in the walk's order; Tavrelon's are another
  // maker's files and stay, and so do the near misses. The font cache goes.
  EXPECT_EQ((std::vector<std::string>{kMakerDownload1, kMakerDownload2, kFontCache}), run.disk.RemovedOutsideTemp());
  for (const char* kept : {kDownload1, kDownload2, kDownload3, kMakerNearMiss1, kMakerNearMiss2}) {
    EXPECT_EQ(1u, run.disk.files.count(kept)) << kept;
  }
}

TEST(AppMakerProgram, ASectionWithoutDownloadFoldersCleansUpTheFontCacheAloneInJapanese) {
  AppRun run;
  RunMakerProgram(run, "[UPDATER_PROGRAM]\r\nTITLE=ノースウィンドフォント 改訂プログラム\r\nMAKER=ノースウィンド\r\n"
                       "DOWNLOAD_FILE1=10001\r\n");

  EXPECT_EQ("ノースウィンドフォント 改訂プログラム Version 1.2.3", run.desktop.Last(IDD_ABOUTBOX).Text(IDC_ABOUT_VERSION));
  EXPECT_EQ(std::vector<std::string>{"フォント名/600"}, run.desktop.Last(IDD_OPENTYPEUPDATER_DIALOG).columns);
  EXPECT_EQ(std::string(kMaruPath) + "の改訂をしています。", run.desktop.Last(IDD_PROGRESS_DIALOG).Text(IDC_FILE_TEXT));
  EXPECT_EQ("ドライブを検索しました。",
            run.desktop.Last(IDD_WAIT_DIALOG).texts.at(IDC_SEARCH_TEXT)[0].substr(3));
  EXPECT_EQ(std::vector<std::string>{kFontCache}, run.disk.RemovedOutsideTemp());
}

TEST(MakerConfiguration, TheSectionIsReadWithinTheProgramsBuffers) {
  const std::string longFolder = "\\" + std::string(300, 'x') + "\\";
  std::string ini =
      "[UPDATE_FONT]\r\nMAXNUM=0\r\n"
      "[updater_program]\r\nTITLE=" + std::string(400, 'T') + "\r\nLANGUAGE=fr\r\n"
      "DOWNLOAD_FOLDER1=" + longFolder + "\r\nDOWNLOAD_FOLDER2=\\b\\\r\nDOWNLOAD_FOLDER4=\\d\\\r\n"
      "DOWNLOAD_FILE2=two\r\nDOWNLOAD_FILE8=eight\r\nDOWNLOAD_FILE9=nine\r\nDOWNLOAD_FILE0=zero\r\n"
      "[UPDATER_PROGRAM]\r\nTITLE=second section, never read\r\n";
  platform::MemoryResources resources;
  resources.Add("INIFILE", 2000, Bytes(ini.begin(), ini.end()));
  CResFileCtrl configuration(resources, platform::TextEncoding::kUtf8);
  configuration.LoadConfiguration();
  const CUpdaterProgram& program = configuration.Program();
  EXPECT_TRUE(program.present);
  EXPECT_EQ(std::string(254, 'T'), program.title);
  EXPECT_EQ(text::Language::kJapanese, program.language);
  EXPECT_EQ((std::vector<std::string>{longFolder.substr(0, 254), "\\b\\"}), program.downloadFolders);
  EXPECT_EQ((std::vector<std::string>{"two", "eight"}), program.downloadFiles);

  std::string many = "[UPDATER_PROGRAM]\r\n";
  for (int n = 1; n <= 70; ++n) many += "DOWNLOAD_FOLDER" + std::to_string(n) + "=\\f" + std::to_string(n) + "\\\r\n";
  resources.Add("INIFILE", 2000, Bytes(many.begin(), many.end()));
  configuration.LoadConfiguration();
  EXPECT_EQ(64u, configuration.Program().downloadFolders.size());
  EXPECT_EQ("\\f64\\", configuration.Program().downloadFolders.back());

  // No configuration at all: Tavrelon's program, as before.
  platform::MemoryResources none;
  CResFileCtrl bare(none, platform::TextEncoding::kUtf8);
  bare.LoadConfiguration();
  EXPECT_FALSE(bare.Program().present);
  EXPECT_EQ(text::Language::kJapanese, bare.Program().language);
}

TEST(MakerDownloadPlaces, MarkersTakeTheSystemsSeparatorCharacterByCharacter) {
  DownloadPlaces places;
  // "ソ" is 0x83 0x5C in Shift-JIS: its second byte is no separator.
  places.folderMarkers = {"\\\x83\x5C\x83t\x83g\\Download\\"};
  places.fileNames = {"a.pkg"};
  const NameRules windows = {'\\', platform::TextEncoding::kShiftJis};
  const NameRules slashes = {'/', platform::TextEncoding::kShiftJis};
  EXPECT_TRUE(InDownloadFolder("C:\\Data\\\x83\x5C\x83t\x83g\\Download\\a.pkg", windows, places));
  EXPECT_TRUE(InDownloadFolder("/home/u/\x83\x5C\x83t\x83g/Download/a.pkg", slashes, places));
  EXPECT_FALSE(InDownloadFolder("/home/u/\x83/\x83t\x83g/Download/a.pkg", slashes, places));
  EXPECT_FALSE(InDownloadFolder("/\x83\x5C\x83t\x83g/Download/a.pkg", slashes, places));
  EXPECT_TRUE(IsDownloadFileName("a.pkg", places));
  EXPECT_FALSE(IsDownloadFileName("10001", places));
  EXPECT_FALSE(InDownloadFolder("C:\\ProgramData\\Tavrelon\\Fonts\\Download\\add\\10001", windows, places));
  // Tavrelon's own, as the program without a section has them.
  EXPECT_TRUE(InDownloadFolder("/srv/x/Pennrook/Fonts/Download/add/10004", {'/', platform::TextEncoding::kUtf8},
                               DefaultDownloadPlaces()));
  EXPECT_EQ(8u, DefaultDownloadPlaces().fileNames.size());
}

}  // namespace
