// The numbers of the texts of the text table, by what they say (the English catalog's
// wording in the comments). Catalogs key them by these numbers in three digits: kTextInfo is
// "032".
#ifndef STOWKEEPER_CORE_TEXT_IDS_H_
#define STOWKEEPER_CORE_TEXT_IDS_H_

namespace sk {

enum TextId : int {
  kTextChooseSource = 1,        // Please select a source folder
  kTextSettings = 2,            // Settings
  kTextBackupFolder = 3,        // Backup folder
  kTextBrowse = 4,              // Browse...
  kTextFreeSpace = 5,           // Available disk space:
  kTextOk = 6,                  // OK
  kTextCancel = 7,              // Cancel
  kTextChooseBackupFolder = 8,  // Please select a folder for the backups
  kTextProjectMenu = 9,         // Project
  kTextAbout = 10,              // About
  kTextExit = 11,               // Exit
  kTextBackupTab = 12,          // Backup
  kTextDrivePathColumn = 13,    // Drive/Path
  kTextSizeColumn = 14,         // Size
  kTextLastUpdateColumn = 15,   // Last update
  kTextCreate = 16,             // Create
  kTextCreateTip = 17,          // Creates a new backup
  kTextUpdate = 18,             // Update
  kTextUpdateTip = 19,          // Updates an existing backup
  kTextListContents = 20,       // List contents
  kTextListContentsTip = 21,    // Lists the contents of a backup
  kTextDelete = 22,             // Delete
  kTextDeleteTip = 23,          // Deletes the most recent backup
  kTextRestoreTab = 24,         // Restore
  kTextCreatedColumn = 25,      // Date created
  kTextRestore = 26,            // Restore
  kTextRestoreTip = 27,         // Restores a backup
  kTextCancelling = 28,         // Canceling... Please wait.
  kTextCreating = 29,           // Creating backup...
  kTextQuestion = 30,           // Question
  kTextReplaceBackup = 31,      // The backup already exists. Do you want to replace it?
  kTextInfo = 32,               // Information
  kTextCreateFailed = 33,       // An error occurred. The backup could not be created.
  kTextCancelled = 34,          // The operation was canceled.
  kTextComparing = 35,          // Comparing data...
  kTextChooseTarget = 36,       // Please select a target folder
  kTextRestoring = 37,          // Restoring data...
  kTextReplaceFile = 38,        // The file %FILE% already exists. Do you want to replace it?
  kTextRestoreFailed = 39,      // An error occurred. The backup could not be fully restored.
  kTextConfirmDelete = 40,      // Are you sure you want to delete the selected backup?
  kTextContentsTitle = 41,      // Backup contents
  kTextNameColumn = 42,         // Name
  kTextCrcColumn = 43,          // CRC32
  kTextClose = 44,              // Close
  kTextRestoreOptions = 45,     // Restore options
  kTextCompleteStructure = 46,  // Keep the complete folder structure
  kTextOnlySubfolder = 47,      // Keep only the subfolder
  kTextVerify = 48,             // Verify backup
  kTextVerifying = 49,          // Verifying backup...
  kTextBackupValid = 50,        // The backup is valid.
  kTextBackupCorrupted = 51,    // The backup is corrupted.
  kTextTotalTime = 52,          // Estimated total time
  kTextElapsedTime = 53,        // Elapsed time
  kTextRemainingTime = 54,      // Time remaining
  kTextProgress = 55,           // Progress
  kTextUnknown = 56,            // Unknown
  kTextSeconds = 57,            // second(s)
  kTextMinutes = 58,            // minute(s)
  kTextHours = 59,              // hour(s)
  kTextCalculating = 60,        // Calculating...
  kTextBack = 61,               // Back
  kTextRoot = 62,               // <Root>
  kTextFolders = 63,            // Folders
  kTextEngineFrame = 64,        // Compression engine
  kTextEngine = 65,             // Engine
  kTextLevel = 66,              // Compression level
  kTextDensepress = 67,         // Densepress
  kTextJcalg = 68,              // JCalG1
  kTextZlib = 69,               // ZLIB
  kTextProperties = 70,         // Properties
  kTextMainBackup = 71,         // Main backup
  kTextRestorePoint = 72,       // Restore point
  kTextName = 73,               // Name
  kTextPackedSize = 74,         // Compressed size
  kTextUnpackedSize = 75,       // Uncompressed size
  kTextFolderCount = 76,        // Number of folders
  kTextFileCount = 77,          // Number of files
  kTextDoubleClick = 78,        // Double-click
  kTextAction = 79,             // Action
  kTextActionList = 80,         // List backup contents
  kTextActionProperties = 81,   // Show properties
  kTextActionVerify = 82,       // Verify backup
  kTextActionUpdate = 83,       // Update backup
  kTextIndex = 84,              // Index
  kTextNotBackedUp = 85,        // Not backed up (links and special files a backup cannot hold):
  kTextMore = 86,               // more
  kTextNoRestorePoint = 87,     // The restore point is missing or cannot be read:
  kTextBadHeader = 88,          // The volume's header is invalid
  kTextCutShort = 89,           // The volume is cut short
  kTextBadBlock = 90,           // A block does not unpack:
  kTextCrcMismatch = 91,        // CRC mismatch:
  kTextVolumeMissing = 92,      // The volume is missing
  kTextBackupWritten = 93,      // Backup of %FOLDER% written: %FILES% files, %SIZE%
  kTextUpdateWritten = 94,      // Update of %FOLDER% written: restore point %INDEX%
  kTextRestored = 95,           // %FOLDER% restored to %TARGET%
  kTextRestoreEntry = 96,       // Restore...
  kTextExclusions = 97,         // Exclusions…
  kTextExclusionsLabel = 98,    // Leave out (one pattern per line, e.g. *.tmp or build/):
  kTextBadPattern = 99,         // This pattern cannot be used:
  kTextSetLocked = 100,         // Another run (process %PID% on %HOST%) is writing this backup set.
  kTextExclusionsNotSaved = 101,  // The exclusions could not be saved.
  kTextScheduleMenu = 102,        // Schedule...
  kTextSchedule = 103,            // Schedule
  kTextScheduleOff = 104,         // Never
  kTextHourly = 105,              // Every hour
  kTextDaily = 106,               // Every day
  kTextWeekly = 107,              // Every week
  kTextScheduleFailed = 108,      // The schedule could not be changed:
  kTextRemoveSchedule = 109,      // This backup has a schedule. Remove the schedule as well?
  kTextLastBackup = 110,          // Last backup:
  kTextToday = 111,               // today
  kTextYesterday = 112,           // yesterday
  kTextHourlyShort = 113,         // hourly
  kTextDailyShort = 114,          // daily
  kTextWeeklyShort = 115,         // weekly
  kTextScheduledFailed = 116,     // Scheduled backup failed
  kTextScheduledDone = 117,       // Scheduled backup done
  kTextNotifyFrame = 118,         // Scheduled backups
  kTextNotifyFailures = 119,      // Notify of failures only
  kTextNotifyAll = 120,           // Notify of failures and successes
  kTextDeleteFailed = 121,        // The backup could not be deleted.
  kTextBadName = 122,             // This name cannot be stored in a backup
  kTextNotStored = 123,           // A link or special file a backup cannot hold: left out
  kTextChangedWhileRead = 124,    // It changed while it was read
  kTextOutsideTarget = 125,       // It would be written outside the target folder
  kTextNoSetName = 126,           // No backup can be named after this folder (...)
  kTextSetFull = 127,             // The backup set has no room for another restore point
  kTextNoMetadata = 128,          // The metadata file is missing, damaged or newer: ...
  kTextPointTime = 129,           // Made on
  kTextDoneWithProblems = 130,    // Done, with these problems:
  kTextWithProblems = 131,        // with %COUNT% problems
};

}  // namespace sk

#endif  // STOWKEEPER_CORE_TEXT_IDS_H_
