-- Reference laboratory database for SQLite: the tables of the databases Laboratory and
-- Build_File in one file, unqualified. labdb.sql holds the same for SQL Server.
-- Statements end with ";" at the end of a line; no statement holds a ";" of its own.
-- Date-times are texts "yyyy-MM-dd HH:mm:ss" in local time, so they compare as texts.

-- Laboratory: patients. vwPatientResultEntry is the name the exam query reads them by.
CREATE TABLE tbLabPatient (
    HospNum    TEXT PRIMARY KEY,
    LastName   TEXT,
    FirstName  TEXT,
    MiddleName TEXT,
    RoomID     TEXT,
    Age        TEXT,
    Sex        TEXT
);

CREATE VIEW vwPatientResultEntry AS
    SELECT HospNum, LastName, FirstName, MiddleName, RoomID, Age, Sex FROM tbLabPatient;

-- Laboratory: the analysers and the exams each of them runs.
CREATE TABLE tbLabInstrument (
    InstrumentId INTEGER PRIMARY KEY,
    Instrument   TEXT NOT NULL UNIQUE
);

CREATE TABLE tbLabInstrumentExams (
    ItemID       TEXT NOT NULL,
    InstrumentId INTEGER NOT NULL REFERENCES tbLabInstrument (InstrumentId),
    Active       TEXT NOT NULL DEFAULT '1',
    UNIQUE (ItemID, InstrumentId)
);

-- Laboratory: one row per requested item. RefNum is the charge slip, RequestNum the item's own
-- number; items of one specimen container share a Barcode (one label).
-- RequestStatus 'X': awaiting specimen collection; other letters: later stages.
CREATE TABLE tbLabMaster (
    RequestNum    TEXT NOT NULL,
    RefNum        TEXT NOT NULL,
    Transdate     TEXT NOT NULL,
    RequestStatus TEXT NOT NULL DEFAULT 'X',
    ItemId        TEXT,
    HospNum       TEXT,
    IdNum         TEXT,
    SpecimenId    TEXT,
    SectionId     TEXT,
    ProfileId     TEXT,
    Barcode       TEXT,
    InstrumentId  INTEGER REFERENCES tbLabInstrument (InstrumentId)
);

CREATE INDEX ixLabMasterRefNum ON tbLabMaster (RefNum);
CREATE INDEX ixLabMasterBarcode ON tbLabMaster (Barcode);
CREATE INDEX ixLabMasterTransdate ON tbLabMaster (Transdate);
CREATE INDEX ixLabMasterRequestNum ON tbLabMaster (RequestNum);

-- Laboratory: results the haematology analyser sent, one row per item.
CREATE TABLE tblabinstrumentdlhemaresult (
    RequestNum TEXT PRIMARY KEY,
    WBC        TEXT,
    RBC        TEXT,
    HGB        TEXT,
    HCT        TEXT,
    PLT        TEXT,
    ReceivedAt TEXT
);

-- Laboratory: what Lab_Barcode_SaveMaster and Lab_Barcode_SaveDate record, one row per call.
CREATE TABLE tbLabBarcodeMaster (
    RecordId   INTEGER PRIMARY KEY,
    RefNum     TEXT,
    IDNum      TEXT,
    HospNum    TEXT,
    Barcode    TEXT,
    ItemId     TEXT,
    SpecimenId TEXT,
    SectionId  TEXT,
    RequestNum TEXT,
    ProfileId  TEXT,
    RecordedAt TEXT NOT NULL
);

CREATE TABLE tbLabBarcodeDate (
    RecordId   INTEGER PRIMARY KEY,
    RequestNum TEXT,
    ItemId     TEXT,
    SectionId  TEXT,
    ServerTime TEXT NOT NULL,
    StatusFlag TEXT,
    Remarks    TEXT,
    RecordedAt TEXT NOT NULL
);

-- Build_File: the exam catalogue. Form is the requisition form of the exam; 'P' (pathology)
-- specimens are labelled elsewhere and stay off the station's recent list.
CREATE TABLE tbcolabexam (
    LabexamId TEXT PRIMARY KEY,
    LabExam   TEXT,
    Form      TEXT DEFAULT 'R'
);

-- Build_File: the exams an orderable item stands for; a single exam stands for itself.
CREATE TABLE tbcolabprofileexams (
    ProfileId TEXT NOT NULL,
    ExamId    TEXT NOT NULL,
    UNIQUE (ProfileId, ExamId)
);
