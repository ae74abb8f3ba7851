// The wizard's seven-language text table, the start-up language choice and the message box.
// Texts are UTF-8; CR is "\r" and a double quotation mark is "\"" exactly where the wizard shows them.
#include "setup/Languages.h"

#include "setup/BuildConfig.h"

#ifdef _WIN32
#include <windows.h>
#endif

static_assert(sizeof(QV_EDITION_LABEL) == 1 || QV_EDITION_LABEL[0] == ' ',
              "the edition label follows the version directly: empty or beginning with a space");

uint8_t UILang = DefaultUILang;

const uint8_t LangOrder[UILangCount] = {0, 1, 2, 3, 4, 5, 6};

const char* const EditionLabel = QV_EDITION_LABEL;

// Every row lists the languages in the order of UILangs: de, en, es, fr, pl, zh, zht.

const TUILangInfo UILangs[UILangCount] = {
  {0x07, "de", "Deutsch"},
  {0x09, "en", "English"},
  {0x0A, "es", "Español"},
  {0x0C, "fr", "Français"},
  {0x15, "pl", "Polski"},
  {0x04, "zh", "简体中文 (Simplified Chinese)"},
  {0x0404, "zht", "繁體中文 (Traditional Chinese)"},
};

TUIText UITitle = {
  "Quorvale-Textverarbeitungsprogramm - Setup",
  "Quorvale Word Processor - Setup",
  "Procesador de textos Quorvale - Instalación",
  "Installation du traitement de texte Quorvale",
  "Quorvale Word Processor - Konfiguracja",
  "Quorvale文字处理器 - 安装",
  "Quorvale文字處理器 - 安裝",
};

TUIText UIAppName = {
  "Quorvale-Textverarbeitungsprogramm",
  "Quorvale Word Processor",
  "Procesador de textos Quorvale",
  "Traitement de texte Quorvale",
  "Quorvale Word Processor",
  "Quorvale文字处理器",
  "Quorvale文字處理器",
};

TUIText UIProductName = {
  "Quorvale-Textverarbeitungsprogramm",
  "Quorvale Word Processor",
  "Procesador de textos Quorvale",
  "Traitement de texte Quorvale",
  "Quorvale Word Processor",
  "Quorvale文字处理器",
  "Quorvale文字處理器",
};

TUIText UIDescription = {
  "Kompaktes, schnell ladendes, aber dennoch leistungsstarkes und effizientes Textverarbeitungsprogramm",
  "Compact, fast-loading, but still powerful and efficient word processor",
  "Procesador de textos compacto, de carga rápida, pero potente y eficiente",
  "Traitement de texte compact, rapide, puissant, et par dessus tout pratique",
  "Kompaktowy, szybko ładujący się i efektywny edytor tekstu",
  "紧凑、快速加载，但仍然强大高效的文字处理器",
  "緊湊、快速加載，但仍然強大高效的文字處理器",
};

TUIText UIWelcome = {
  "Dieses Programm installiert %s (Version 4.4.5.5%s) auf Ihrem Computer.",
  "This program will install %s (version 4.4.5.5%s) on your computer.",
  "Este programa instalará %s (versión 4.4.5.5%s) en su computadora.",
  "Ce programme va installer %s (version 4.4.5.5%s) sur votre ordinateur.",
  "Ten program zainstaluje \"%s\" (wersja 4.4.5.5%s) na Twoim komputerze.",
  "此程序将在您的计算机上安装%s（版本4.4.5.5%s）。",
  "此程序將在您的計算機上安裝%s（版本4.4.5.5%s）。",
};

TUIText UILanguage = {
  "Sprache:",
  "Language:",
  "Idioma:",
  "Langue :",
  "Język",
  "语言:",
  "語言:",
};

TUIText UIAcceptLicense = {
  "Ich akzeptiere alle Bedingungen der Lizenzvereinbarung",
  "I &accept all the terms of the above License Agreement",
  "&Acepto todos los términos del Acuerdo de licencia anterior",
  "J'&accepte l'Accord de licence ci-dessus dans son intégralité",
  "Akceptuję wszystkie warunki powyższej Umowy licencyjnej",
  "&A我接受上述许可协议的所有条款",
  "&A我接受上述許可協議的所有條款",
};

TUIText UIPortable = {
  "Als &portable Version installieren",
  "Install as &portable",
  "Instalar como &portátil",
  "Installer une copie &portable",
  "Zainstaluj jako wersja &przenośna",
  "&P便携式安装",
  "&P便攜式安裝",
};

TUIText UIReady = {
  "Sie können jetzt Quorvale-Textverarbeitungsprogramm installieren.\r\rKlicken Sie auf „Nächste“, um mit der Installation zu beginnen. Klicken Sie auf „Zurück“, wenn Sie die Installationseinstellungen überprüfen oder ändern möchten.",
  "You are now ready to install Quorvale Word Processor.\r\rClick Next to begin installation. Click Back if you want to review or change installation settings.",
  "Ahora está listo para instalar el Procesador de textos Quorvale.\r\rHaga clic en Siguiente para comenzar la instalación. Haga clic en Atrás si desea revisar o cambiar la configuración de instalación.",
  "Traitement de texte Quorvale est maintenant prêt à être installé.\r\rCliquez sur \"Suite\" pour commencer l'installation. Cliquez sur \"Retour\" pour revoir ou modifier les options de l'installation.",
  "Teraz możesz zainstalować \"Quorvale Word Processor\"\r\rKliknij \"Dalej\", aby rozpocząć instalację. Kliknij \"Wróć\", jeśli chcesz przejrzeć lub zmienić ustawienia instalacji.",
  "您现在可以安装Quorvale文字处理器了。\r\r单击“下一步”开始安装。如果要查看或更改安装设置，请单击“上一步”。",
  "您現在可以安裝Quorvale文字處理器了。\r\r單擊“下壹步”開始安裝。如果要查看或更改安裝設置，請單擊“上壹步”。",
};

TUIText UIInstallForAll = {
  "Installation für alle Benutzer dieses Computers",
  "Install for &anyone who uses this computer",
  "Instalar para cualquier persona que use esta computadora",
  "Installer pour &tous les utilisateurs de cet ordinateur",
  "Zainstaluj dla każdego, kto korzysta z tego komputera",
  "&A为使用此计算机的任何人安装",
  "&A為使用此計算機的任何人安裝",
};

TUIText UIDesktopShortcut = {
  "Erstellen Sie eine &Desktop-Verknüpfung",
  "Create a &Desktop shortcut",
  "Crear un acceso directo en el escritorio",
  "Créer un raccourci &Bureau",
  "Utwórz skrót na Pulpicie",
  "&D创建桌面快捷方式",
  "&D創建桌面快捷方式",
};

TUIText UIFinished = {
  "%s 4.4.5.5%s wurde erfolgreich auf Ihrem Computer installiert.\r\rKlicken Sie auf „Fertig stellen“, um dieses Setup zu beenden.",
  "%s 4.4.5.5%s has been successfully installed on your computer.\r\rClick Finish to exit this Setup.",
  "%s 4.4.5.5%s se ha instalado correctamente en su ordenador.\r\rHaga clic en Finalizar para salir de esta instalación.",
  "%s 4.4.5.5%s a été installé avec succès sur votre ordinateur.\r\rCliquez sur Terminer pour quitter ce programme d'installation.",
  "%s 4.4.5.5%s został pomyślnie zainstalowany na Twoim komputerze.\r\rKliknij \"KONIEC\", aby zakończyć instalację.",
  "%s4.4.5.5%s已成功安装在您的计算机上。\r\r单击“完成”退出此安装程序。",
  "%s4.4.5.5%s已成功安裝在您的計算機上。\r\r單擊“完成”退出此安裝程序。",
};

TUIText UILaunch = {
  "&Starten Sie das Quorvale-Textverarbeitungsprogramm",
  "&Launch Quorvale Word Processor",
  "&Lanzamiento del Procesador de textos Quorvale",
  "&Lancer Traitement de texte Quorvale tout de suite",
  "Uruchomienie programu \"Quorvale Word Processor\"",
  "&L开始Quorvale文字处理器",
  "&L開始Quorvale文字處理器",
};

const char* const UIPageTitle[PageCount][UILangCount] = {
  {  // page 0
    "Willkommen beim Quorvale-Textverarbeitungsprogramm-Setup",
    "Welcome to the Quorvale Word Processor Setup",
    "Bienvenido a la instalación del Procesador de textos Quorvale",
    "Merci de faire confiance à Quorvale",
    "Witamy w programie \"Quorvale Word Processor\"",
    "欢迎使用Quorvale文字处理器设置",
    "歡迎使用Quorvale文字處理器設置",
  },
  {  // page 1
    "Lizenzvereinbarung",
    "License Agreement",
    "Acuerdo de licencia",
    "Accord de Licence",
    "Umowa licencyjna",
    "许可协议",
    "許可協議",
  },
  {  // page 2
    "Wählen Sie Zielordner",
    "Choose Destination Folder",
    "Elija la carpeta de destino",
    "Choix du dossier d'installation",
    "Wybierz folder docelowy",
    "选择目标文件夹",
    "選擇目標文件夾",
  },
  {  // page 3
    "Bereit zur Installation",
    "Ready to Install",
    "Listo para instalar",
    "L'installation peut commencer",
    "Gotowy do instalacji",
    "准备安装",
    "準備安裝",
  },
  {  // page 4
    "Installieren",
    "Installing",
    "Instalando",
    "Installation",
    "Instalowanie",
    "安装",
    "安裝",
  },
  {  // page 5
    "Installation abgeschlossen",
    "Installation Complete",
    "Instalación completa",
    "Installation terminée",
    "Instalacja ukończona",
    "安装完成",
    "安裝完成",
  },
  {  // page 6
    "",
    "",
    "",
    "",
    "",
    "",
    "",
  },
};

TUIText UIMustAccept = {
  "Um dieses Programm zu installieren, müssen Sie allen Bedingungen der Lizenzvereinbarung zustimmen.",
  "To install this program, you need to agree to all the terms of the License Agreement.",
  "Para instalar este programa, debe aceptar todos los términos del Acuerdo de licencia.",
  "L'installation de ce programme est liée à l'acceptation de l'ensemble des termes du Contrat de Licence du traitement de texte Quorvale.",
  "Aby zainstalować ten program, musisz zaakceptować wszystkie warunki Umowy Licencyjnej.",
  "要安装此程序，您需要同意许可协议的所有条款。",
  "要安裝此程序，您需要同意許可協議的所有條款。",
};

TUIText UIPortableRefused = {
  "In diesem Ordner kann keine portable Kopie installiert werden.",
  "A portable copy cannot be installed to this folder.",
  "No se puede instalar una copia portátil en esta carpeta.",
  "Une copie portable ne peut pas être installée dans ce dossier.",
  "Nie można zainstalować kopii przenośnej w tym folderze.",
  "无法将便携副本安装到此文件夹。",
  "無法將便攜副本安裝到此文件夾。",
};

TUIText UICloseRunning = {
  "Bitte schließen Sie alle laufenden Instanzen des Quorvale-Textverarbeitungsprogramms und klicken Sie dann in diesem Dialogfeld auf „OK“.",
  "Please close any running instance(s) of Quorvale Word Processor, then click OK in this dialog.",
  "Cierre todas las instancias en ejecución del Procesador de textos Quorvale y luego haga clic en Aceptar en este diálogo.",
  "Veuillez fermer tous les exemplaires du traitement de texte Quorvale actuellement ouverts\ravant de cliquer sur le bouton \"OK\" ci-dessous.",
  "Zamknij wszystkie uruchomione wystąpienia programu \"Quorvale Word Processor\", a następnie kliknij przycisk \"OK\" w tym oknie dialogowym.",
  "请关闭任何正在运行的Quorvale文字处理器实例，然后在此对话框中单击“确定”.",
  "請關閉任何正在運行的Quorvale文字處理器實例，然後在此對話框中單擊“確定”.",
};

TUIText UIQuitSetup = {
  "Die Installation ist nicht abgeschlossen. Möchten Sie dieses Setup-Programm beenden?",
  "Setup is not complete. Do you wish to quit this setup program?",
  "La instalación no está completa. ¿Desea salir de este programa de instalación?",
  "L'installation n'est pas terminée !\r\rPour poursuivre l'installation maintenant, cliquez sur \"Non\".\r\rPour interrompre l'installation, cliquez sur \"Oui\".",
  "Instalacja nie została ukończona. Czy chcesz zamknąć ten program instalacyjny?",
  "安装未完成。您想退出此安装程序吗？",
  "安裝未完成。您想退出此安裝程序嗎？",
};

TUIText UICannotCreate = {
  "Die Datei „%s“ kann nicht erstellt werden.\rMöglicherweise verwendet eine andere Anwendung diese Datei bereits.\r\rBitte stellen Sie sicher, dass die Einrichtung von Quorvale-Textverarbeitungsprogramm in keiner Weise durch Ihre Sicherheitssoftware (Firewall/Antivirus) blockiert wird.",
  "Cannot create file \"%s\".\rAnother application might already be using this file.\r\rPlease make sure that the setup of Quorvale Word Processor is not blocked by your security software (firewall/antivirus) in any way.",
  "No se puede crear el archivo \"%s\".\rEs posible que otra aplicación ya esté usando este archivo.\r\rAsegúrese de que la configuración del Procesador de textos Quorvale no esté bloqueada de ninguna manera por su software de seguridad (firewall/antivirus).",
  "Impossible de créer le fichier \"%s\".\rCe fichier est peut-être actuellement utilisé par une autre application.\r\rVeuillez vous assurer que le processus d'installation du traitement de texte Quorvale n'est pas bloqué par votre logiciel de sécurité (pare-feu ou antivirus).",
  "Nie można utworzyć pliku \"%s\".\rInna aplikacja może już używać tego pliku.\r\rUpewnij się, że konfiguracja \"Quorvale Word Processor\" nie jest w żaden sposób blokowana przez oprogramowanie zabezpieczające (zapora sieciowa/program antywirusowy).",
  "无法创建文件“%s”。\r其他应用程序可能已在使用此文件。\r\r请确保您的安全软件（防火墙/防病毒软件）不会以任何方式阻止Quorvale文字处理器的设置。",
  "無法創建文件“%s”。\r其他應用程序可能已在使用此文件。\r\r請確保您的安全軟件（防火墻/防病毒軟件）不會以任何方式阻止Quorvale文字處理器的設置。",
};

// Our own rows beyond the wizard's table: a damaged download and a destination past the path limit.
TUIText UIDamaged = {
  "Das Setup-Programm ist beschädigt und kann Quorvale-Textverarbeitungsprogramm nicht installieren.\rBitte laden Sie es erneut herunter.",
  "The setup program is damaged and cannot install Quorvale Word Processor.\rPlease download it again.",
  "El programa de instalación está dañado y no puede instalar el Procesador de textos Quorvale.\rDescárguelo de nuevo.",
  "Le programme d'installation est endommagé et ne peut pas installer le traitement de texte Quorvale.\rVeuillez le télécharger à nouveau.",
  "Program instalacyjny jest uszkodzony i nie może zainstalować programu Quorvale Word Processor.\rPobierz go ponownie.",
  "安装程序已损坏，无法安装Quorvale文字处理器。\r请重新下载安装程序。",
  "安裝程式已損壞，無法安裝Quorvale文字處理器。\r請重新下載安裝程式。",
};

TUIText UIPathTooLong = {
  "Der Pfad des Zielordners ist zu lang.\rBitte wählen Sie einen Ordner, dessen Pfad höchstens %s Zeichen hat.",
  "The destination folder path is too long.\rPlease choose a folder whose path has at most %s characters.",
  "La ruta de la carpeta de destino es demasiado larga.\rElija una carpeta cuya ruta tenga como máximo %s caracteres.",
  "Le chemin du dossier de destination est trop long.\rVeuillez choisir un dossier dont le chemin compte au plus %s caractères.",
  "Ścieżka folderu docelowego jest zbyt długa.\rWybierz folder, którego ścieżka ma najwyżej %s znaków.",
  "目标文件夹路径太长。\r请选择路径不超过 %s 个字符的文件夹。",
  "目標資料夾路徑太長。\r請選擇路徑不超過 %s 個字元的資料夾。",
};

TUIText UIPortableHelpURL = {
  QV_PRODUCT_SITE_ROOT "/en/help/portable.htm",
  QV_PRODUCT_SITE_ROOT "/en/help/portable.htm",
  QV_PRODUCT_SITE_ROOT "/en/help/portable.htm",
  QV_PRODUCT_SITE_ROOT "/fr/help/portable.htm",
  QV_PRODUCT_SITE_ROOT "/en/help/portable.htm",
  QV_PRODUCT_SITE_ROOT "/en/help/portable.htm",
  QV_PRODUCT_SITE_ROOT "/en/help/portable.htm",
};

TUIText UIBack = {
  "< &Zurück",
  "< &Back",
  "< &Previo",
  "< &Retour",
  "< Wróć",
  "< &B返回",
  "< &B返回",
};

TUIText UINext = {
  "&Nächste >",
  "&Next >",
  "&Siguiente >",
  "&Suite >",
  "Dalej >",
  "&N下一步>",
  "&N下壹步>",
};

TUIText UIFinish = {
  "&Fertig stellen",
  "&Finish",
  "&Terminar",
  "&Terminer",
  "KONIEC",
  "&F结束",
  "&F結束",
};

TUIText UICancel = {
  "Abbrechen",
  "Cancel",
  "Cancelar",
  "Annuler",
  "Anuluj",
  "取消",
  "取消",
};

TUIText UIBrowse = {
  "Durchsuchen...",
  "Browse...",
  "Explorar...",
  "Parcourir...",
  "Wyszukaj...",
  "浏览...",
  "瀏覽...",
};
const char* UIText(TUIText& row) {
  // UILang is only ever set from this table; the guard keeps a stray value from reading past a row.
  return row[UILang < UILangCount ? UILang : DefaultUILang];
}

WideString UIWideText(TUIText& row) { return Utf8ToWide(UIText(row)); }

int FindUILangCode(const AnsiString& code) {
  for (int i = UILangCount - 1; i >= 0; --i)
    if (code == UILangs[i].Code) return i;
  return -1;
}

uint8_t StartUILang(uint32_t localeId, const AnsiString& rememberedCode) {
  const int32_t langId = static_cast<int32_t>(localeId & 0xFFFF);
  const int32_t primary = langId & 0x3FF;
  int found = -1;
  // The full identifier first: only Chinese (Taiwan) is listed that way, and it must win over the
  // primary Chinese record that every other Chinese locale falls back to.
  for (int i = UILangCount - 1; i >= 0 && found < 0; --i)
    if (UILangs[i].LangID == langId) found = i;
  for (int i = UILangCount - 1; i >= 0 && found < 0; --i)
    if (UILangs[i].LangID == primary) found = i;
  uint8_t lang = found >= 0 ? static_cast<uint8_t>(found) : DefaultUILang;
  const int remembered = FindUILangCode(rememberedCode);
  if (remembered >= 0) lang = static_cast<uint8_t>(remembered);
  return lang;
}

uint32_t MessageBoxStyle(TMsgIcon icon, TMsgButtons buttons) {
  constexpr uint32_t kIconInformation = 0x40;   // MB_ICONINFORMATION
  constexpr uint32_t kIconQuestion = 0x20;      // MB_ICONQUESTION
  constexpr uint32_t kIconError = 0x10;         // MB_ICONERROR
  constexpr uint32_t kAbortRetryIgnore = 0x02;  // MB_ABORTRETRYIGNORE
  constexpr uint32_t kYesNo = 0x04;             // MB_YESNO
  constexpr uint32_t kOk = 0x00;                // MB_OK
  constexpr uint32_t kTaskModal = 0x2000;       // MB_TASKMODAL
  uint32_t style = icon == TMsgIcon::Information ? kIconInformation
                   : icon == TMsgIcon::Question  ? kIconQuestion
                                                 : kIconError;
  style |= buttons == TMsgButtons::AbortRetryIgnore ? kAbortRetryIgnore
           : buttons == TMsgButtons::YesNo          ? kYesNo
                                                    : kOk;
  return style | kTaskModal;
}

int MessageBoxResult(int platformResult) {
  // IDABORT 3, IDRETRY 4, IDIGNORE 5, IDYES 6, IDNO 7; OK, closing the box and failure all mean 1.
  return platformResult >= 3 && platformResult <= 7 ? platformResult : 1;
}

#ifdef _WIN32

void ChooseStartUILang(const AnsiString& rememberedCode) {
  UILang = StartUILang(GetUserDefaultLCID(), rememberedCode);
}

TMessageBoxFunc MessageBoxHook = &MessageBoxW;
TMessageBoxOwnerFunc MessageBoxOwnerHook = nullptr;

int ShowMessageBox(const AnsiString& text, TMsgIcon icon, TMsgButtons buttons) {
  const HWND owner = MessageBoxOwnerHook ? MessageBoxOwnerHook() : nullptr;
  const WideString wideText = Utf8ToWide(text);
  const WideString caption = UIWideText(UITitle);
  const int result = MessageBoxHook(owner, wideText.c_str(), caption.c_str(), MessageBoxStyle(icon, buttons));
  return MessageBoxResult(result);
}

#endif
