-- What wixl (msitools 0.101) cannot write, added to the database after it
-- by cmake/windows/package.cmake with msibuild: one query a line, blank lines
-- and lines starting with "--" left out.
--
-- The event sources' EventMessageFile values are REG_EXPAND_SZ ("#%").
UPDATE `Registry` SET `Value` = '#%[INSTALLDIR]OrbelleC.exe' WHERE `Name` = 'EventMessageFile' AND `Component_` = 'Console'
UPDATE `Registry` SET `Value` = '#%[INSTALLDIR]Orbelle.exe' WHERE `Name` = 'EventMessageFile' AND `Component_` = 'Dialog'
-- The task's undo runs on rollback only: deferred (0x400), rollback (0x100),
-- its result ignored (0x40), as SYSTEM (0x800), from a property (50).
UPDATE `CustomAction` SET `Type` = 3442 WHERE `Action` = 'UndoReportTask'
-- A package of the same three-field version (another revision) replaces
-- the installed one as an older one does.
INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMin`, `VersionMax`, `Language`, `Attributes`, `Remove`, `ActionProperty`) VALUES ('@UPGRADE_CODE@', '@VERSION@', '@VERSION@', '', 769, '', 'WIX_SAME_VERSION_UPGRADE_DETECTED')
-- The older product is removed inside this installation's transaction
-- (after InstallInitialize), so that a failure brings it back on rollback;
-- wixl places the removal before the transaction, where a failure leaves
-- neither version.
UPDATE `InstallExecuteSequence` SET `Sequence` = 1501 WHERE `Action` = 'RemoveExistingProducts'
-- Public properties that a managed installation passes on to the service.
UPDATE `Property` SET `Value` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;WIX_SAME_VERSION_UPGRADE_DETECTED;ORBELLE_SCHEDULE;ORBELLE_ADD_TO_PATH' WHERE `Property` = 'SecureCustomProperties'
-- ORBELLE_ADD_TO_PATH=1: the PathEntry component, whose Environment row
-- puts the folder in front of the system PATH ("=" set, "-" removed with
-- the component, "*" the system's variable) and takes it out again. In
-- front, as Wine's installer takes out an entry with the separator after
-- it: an appended one would leave a ";" behind at each removal. Its
-- condition holds on removal too, when the property is no longer given:
-- an installer that skips a component whose condition is false would
-- otherwise leave the entry behind (Wine's does).
UPDATE `Component` SET `Condition` = 'ORBELLE_ADD_TO_PATH = 1 OR REMOVE~="ALL"' WHERE `Component` = 'PathEntry'
CREATE TABLE `Environment` (`Environment` CHAR(72) NOT NULL, `Name` CHAR(255) NOT NULL LOCALIZABLE, `Value` CHAR(255) LOCALIZABLE, `Component_` CHAR(72) NOT NULL PRIMARY KEY `Environment`)
INSERT INTO `Environment` (`Environment`, `Name`, `Value`, `Component_`) VALUES ('PathEntry', '=-*PATH', '[INSTALLDIR];[~]', 'PathEntry')
INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('RemoveEnvironmentStrings', 3300)
INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('WriteEnvironmentStrings', 5200)
