-- Reference laboratory database for SQL Server: the databases Laboratory and Build_File with the
-- tables the station reads, the tables the barcode procedures write, the three procedures, and a
-- few sample requests dated from now. Run with sqlcmd (or any tool that knows GO):
--   sqlcmd -S <server> -U <login> -i labdb.sql
-- schema-sqlite.sql holds the same tables for the embedded SQLite file.

IF DB_ID('Laboratory') IS NULL CREATE DATABASE Laboratory;
GO
IF DB_ID('Build_File') IS NULL CREATE DATABASE Build_File;
GO

---------------------------------------------------------------------------------------------------
-- Build_File: the exam catalogue.
---------------------------------------------------------------------------------------------------
USE Build_File;
GO

-- Form is the requisition form of the exam; 'P' (pathology) specimens are labelled elsewhere and
-- stay off the station's recent list.
CREATE TABLE dbo.tbcolabexam (
    LabexamId varchar(50)   NOT NULL CONSTRAINT PK_tbcolabexam PRIMARY KEY,
    LabExam   nvarchar(100) NULL,
    Form      varchar(1)    NULL CONSTRAINT DF_tbcolabexam_Form DEFAULT 'R'
);

-- The exams an orderable item stands for; a single exam stands for itself.
CREATE TABLE dbo.tbcolabprofileexams (
    ProfileId varchar(50) NOT NULL,
    ExamId    varchar(50) NOT NULL,
    CONSTRAINT PK_tbcolabprofileexams PRIMARY KEY (ProfileId, ExamId)
);
GO

---------------------------------------------------------------------------------------------------
-- Laboratory: patients, instruments, requests, results, and the barcode records.
---------------------------------------------------------------------------------------------------
USE Laboratory;
GO

CREATE TABLE dbo.tbLabPatient (
    HospNum    varchar(50)   NOT NULL CONSTRAINT PK_tbLabPatient PRIMARY KEY,
    LastName   nvarchar(100) NULL,
    FirstName  nvarchar(100) NULL,
    MiddleName nvarchar(100) NULL,
    RoomID     varchar(50)   NULL,
    Age        varchar(20)   NULL,
    Sex        varchar(1)    NULL
);
GO

CREATE VIEW dbo.vwPatientResultEntry AS
    SELECT HospNum, LastName, FirstName, MiddleName, RoomID, Age, Sex FROM dbo.tbLabPatient;
GO

CREATE TABLE dbo.tbLabInstrument (
    InstrumentId int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_tbLabInstrument PRIMARY KEY,
    Instrument   nvarchar(100)      NOT NULL CONSTRAINT UQ_tbLabInstrument UNIQUE
);

CREATE TABLE dbo.tbLabInstrumentExams (
    ItemID       varchar(50) NOT NULL,
    InstrumentId int         NOT NULL REFERENCES dbo.tbLabInstrument (InstrumentId),
    Active       varchar(1)  NOT NULL CONSTRAINT DF_tbLabInstrumentExams_Active DEFAULT '1',
    CONSTRAINT UQ_tbLabInstrumentExams UNIQUE (ItemID, InstrumentId)
);

-- One row per requested item. RefNum is the charge slip, RequestNum the item's own number; items
-- of one specimen container share a Barcode (one label). RowId keeps the order of entry.
-- RequestStatus 'X': awaiting specimen collection; other letters: later stages.
CREATE TABLE dbo.tbLabMaster (
    RowId         int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_tbLabMaster PRIMARY KEY,
    RequestNum    varchar(50) NOT NULL,
    RefNum        varchar(50) NOT NULL,
    Transdate     datetime    NOT NULL,
    RequestStatus varchar(1)  NOT NULL CONSTRAINT DF_tbLabMaster_RequestStatus DEFAULT 'X',
    ItemId        varchar(50) NULL,
    HospNum       varchar(50) NULL,
    IdNum         varchar(50) NULL,
    SpecimenId    varchar(50) NULL,
    SectionId     varchar(50) NULL,
    ProfileId     varchar(50) NULL,
    Barcode       varchar(50) NULL,
    InstrumentId  int         NULL REFERENCES dbo.tbLabInstrument (InstrumentId)
);
CREATE INDEX IX_tbLabMaster_RefNum ON dbo.tbLabMaster (RefNum);
CREATE INDEX IX_tbLabMaster_Barcode ON dbo.tbLabMaster (Barcode);
CREATE INDEX IX_tbLabMaster_Transdate ON dbo.tbLabMaster (Transdate);
CREATE INDEX IX_tbLabMaster_RequestNum ON dbo.tbLabMaster (RequestNum);

-- Results the haematology analyser sent, one row per item.
CREATE TABLE dbo.tblabinstrumentdlhemaresult (
    RequestNum varchar(50) NOT NULL CONSTRAINT PK_tblabinstrumentdlhemaresult PRIMARY KEY,
    WBC        varchar(20) NULL,
    RBC        varchar(20) NULL,
    HGB        varchar(20) NULL,
    HCT        varchar(20) NULL,
    PLT        varchar(20) NULL,
    ReceivedAt datetime    NULL
);

-- What Lab_Barcode_SaveMaster and Lab_Barcode_SaveDate record, one row per call.
CREATE TABLE dbo.tbLabBarcodeMaster (
    RecordId   int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_tbLabBarcodeMaster PRIMARY KEY,
    RefNum     varchar(50) NULL,
    IDNum      varchar(50) NULL,
    HospNum    varchar(50) NULL,
    Barcode    varchar(50) NULL,
    ItemId     varchar(50) NULL,
    SpecimenId varchar(50) NULL,
    SectionId  varchar(50) NULL,
    RequestNum varchar(50) NULL,
    ProfileId  varchar(50) NULL,
    RecordedAt datetime    NOT NULL CONSTRAINT DF_tbLabBarcodeMaster_RecordedAt DEFAULT getdate()
);

CREATE TABLE dbo.tbLabBarcodeDate (
    RecordId   int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_tbLabBarcodeDate PRIMARY KEY,
    RequestNum varchar(50)  NULL,
    ItemId     varchar(50)  NULL,
    SectionId  varchar(50)  NULL,
    ServerTime datetime     NOT NULL,
    StatusFlag varchar(1)   NULL,
    Remarks    varchar(255) NULL,
    RecordedAt datetime     NOT NULL CONSTRAINT DF_tbLabBarcodeDate_RecordedAt DEFAULT getdate()
);
GO

-- With a number and a kind: one row per label (distinct Barcode) of the request, in the order
-- of entry, the first item of each barcode giving its instrument. Kind 3: the number is a request
-- number (RefNum), and when no request has it, a label barcode; kind 2: a label barcode first, a
-- request number second.
-- With a barcode alone: every item of that barcode, with what the barcode records need.
CREATE PROCEDURE dbo.Lab_Barcode_GetRequests
    @Number varchar(50),
    @Kind   int = NULL
AS
BEGIN
    SET NOCOUNT ON;

    IF @Kind IS NULL
    BEGIN
        SELECT A.RefNum AS RefNum, A.IdNum AS IDNum, A.HospNum AS HospNum, A.Barcode AS Barcode,
               A.ItemId AS ItemId, A.SpecimenId AS SpecimenId, A.RequestNum AS RequestNum,
               A.ProfileId AS ProfileId, A.SectionId AS SectionId,
               isnull(P.LastName, '') + ', ' + isnull(P.FirstName, '') + ' '
                   + isnull(P.MiddleName, '') AS PatientName,
               isnull(E.LabExam, '') AS Exam
        FROM dbo.tbLabMaster A
            LEFT OUTER JOIN dbo.tbLabPatient P ON P.HospNum = A.HospNum
            LEFT OUTER JOIN Build_File.dbo.tbcolabexam E ON E.LabexamId = A.ItemId
        WHERE A.Barcode = @Number
        ORDER BY A.RowId;
        RETURN;
    END;

    DECLARE @ByRefNum bit = CASE WHEN @Kind = 3 THEN 1 ELSE 0 END;
    IF @ByRefNum = 1 AND NOT EXISTS (SELECT 1 FROM dbo.tbLabMaster WHERE RefNum = @Number)
        SET @ByRefNum = 0;
    ELSE IF @ByRefNum = 0 AND NOT EXISTS (SELECT 1 FROM dbo.tbLabMaster WHERE Barcode = @Number)
        SET @ByRefNum = 1;

    WITH hits AS (
        SELECT A.RowId, A.HospNum, A.Transdate, A.Barcode, A.InstrumentId,
               ROW_NUMBER() OVER (PARTITION BY A.Barcode ORDER BY A.RowId) AS k
        FROM dbo.tbLabMaster A
        WHERE (@ByRefNum = 1 AND A.RefNum = @Number) OR (@ByRefNum = 0 AND A.Barcode = @Number)
    )
    SELECT L.HospNum AS HospNum,
           isnull(P.LastName, '') + ', ' + isnull(P.FirstName, '') + ' '
               + isnull(P.MiddleName, '') AS PatientName,
           L.Transdate AS TransDate, P.RoomID AS RoomID, P.Age AS Age, P.Sex AS Sex,
           L.Barcode AS Barcode, I.Instrument AS Instrument
    FROM hits L
        LEFT OUTER JOIN dbo.tbLabPatient P ON P.HospNum = L.HospNum
        LEFT OUTER JOIN dbo.tbLabInstrument I ON I.InstrumentId = L.InstrumentId
    WHERE L.k = 1
    ORDER BY L.RowId
    OPTION (RECOMPILE);
END;
GO

CREATE PROCEDURE dbo.Lab_Barcode_SaveMaster
    @RefNum     varchar(50),
    @IDNum      varchar(50),
    @HospNum    varchar(50),
    @Barcode    varchar(50),
    @ItemId     varchar(50),
    @SpecimenId varchar(50),
    @SectionId  varchar(50),
    @RequestNum varchar(50),
    @ProfileId  varchar(50)
AS
BEGIN
    SET NOCOUNT ON;
    INSERT INTO dbo.tbLabBarcodeMaster (RefNum, IDNum, HospNum, Barcode, ItemId, SpecimenId,
                                        SectionId, RequestNum, ProfileId)
    VALUES (@RefNum, @IDNum, @HospNum, @Barcode, @ItemId, @SpecimenId, @SectionId, @RequestNum,
            @ProfileId);
END;
GO

-- @ServerTime arrives as text; the station writes it as ISO 8601 "yyyy-MM-ddTHH:mm:ss.fff", or
-- "yyyyMMdd" at midnight, both read alike under every language and DATEFORMAT.
CREATE PROCEDURE dbo.Lab_Barcode_SaveDate
    @RequestNum varchar(50),
    @ItemId     varchar(50),
    @SectionId  varchar(50),
    @ServerTime datetime,
    @StatusFlag varchar(1),
    @Remarks    varchar(255)
AS
BEGIN
    SET NOCOUNT ON;
    INSERT INTO dbo.tbLabBarcodeDate (RequestNum, ItemId, SectionId, ServerTime, StatusFlag,
                                      Remarks)
    VALUES (@RequestNum, @ItemId, @SectionId, @ServerTime, @StatusFlag, @Remarks);
END;
GO

---------------------------------------------------------------------------------------------------
-- Sample data: the catalogue, two patients and three requests of the last hours.
---------------------------------------------------------------------------------------------------
INSERT INTO Build_File.dbo.tbcolabexam (LabexamId, LabExam, Form) VALUES
    ('1001', N'CBC with Platelet Count', 'R'),
    ('1002', N'Erythrocyte Sedimentation Rate', 'R'),
    ('2001', N'Fasting Blood Sugar', 'R'),
    ('2002', N'Creatinine', 'R'),
    ('3001', N'Urinalysis', 'R'),
    ('9001', N'Pap Smear', 'P');
INSERT INTO Build_File.dbo.tbcolabprofileexams (ProfileId, ExamId)
    SELECT LabexamId, LabexamId FROM Build_File.dbo.tbcolabexam;

INSERT INTO dbo.tbLabInstrument (Instrument) VALUES
    (N'Hema XN-3'), (N'ChemLine 680'), (N'UroScan 200');
INSERT INTO dbo.tbLabInstrumentExams (ItemID, InstrumentId, Active)
    SELECT E.ItemID, I.InstrumentId, '1'
    FROM (VALUES ('1001', N'Hema XN-3'), ('1002', N'Hema XN-3'), ('2001', N'ChemLine 680'),
                 ('2002', N'ChemLine 680'), ('3001', N'UroScan 200')) AS E (ItemID, Instrument)
        JOIN dbo.tbLabInstrument I ON I.Instrument = E.Instrument;

INSERT INTO dbo.tbLabPatient (HospNum, LastName, FirstName, MiddleName, RoomID, Age, Sex) VALUES
    ('0100001', N'Santos', N'Maria', N'Dizon', '201-A', '54', 'F'),
    ('0100002', N'Reyes', N'Jose', NULL, 'ER', '61', 'M');

DECLARE @Now datetime = getdate();
DECLARE @Day varchar(6) = CONVERT(varchar(6), @Now, 12); -- yyMMdd
INSERT INTO dbo.tbLabMaster (RequestNum, RefNum, Transdate, RequestStatus, ItemId, HospNum, IdNum,
                             SpecimenId, SectionId, ProfileId, Barcode, InstrumentId)
    SELECT R.RequestNum, R.RefNum, DATEADD(minute, -R.MinutesAgo, @Now), 'X', R.ItemId,
           R.HospNum, R.IdNum, R.SpecimenId, R.SectionId, NULL, R.Barcode, I.InstrumentId
    FROM (VALUES
        ('1000001', 'T' + @Day + '0001C', 95, '1001', '0100001', '24-10001', '1', '1', @Day + '000101', N'Hema XN-3'),
        ('1000002', 'T' + @Day + '0001C', 95, '2001', '0100001', '24-10001', '2', '2', @Day + '000102', N'ChemLine 680'),
        ('1000003', 'T' + @Day + '0001C', 95, '2002', '0100001', '24-10001', '2', '2', @Day + '000102', N'ChemLine 680'),
        ('1000004', 'T' + @Day + '0002C', 40, '1002', '0100002', '24-10002', '1', '1', @Day + '000201', N'Hema XN-3'),
        ('1000005', @Day + '0003B', 12, '3001', '0100002', '24-10003', '4', '3', @Day + '000301', N'UroScan 200')
    ) AS R (RequestNum, RefNum, MinutesAgo, ItemId, HospNum, IdNum, SpecimenId, SectionId, Barcode,
            Instrument)
        JOIN dbo.tbLabInstrument I ON I.Instrument = R.Instrument;
GO

---------------------------------------------------------------------------------------------------
-- What the station sends besides the three procedures and the recent and exam queries.
---------------------------------------------------------------------------------------------------
-- Catch-up after downtime: the recent query returns the newest 50 (RefNum, transdate) pairs. After
-- a full page the station asks again for the rows strictly earlier than the page's oldest
-- transdate plus one second (that second comes again and is skipped as already listed), until a
-- page has fewer than 50 rows. The bound is ISO 8601 with the T, read alike under every language
-- and DATEFORMAT (one line, wrapped here):
--
--    select distinct top 50     A.RefNum as [RefNum],transdate   from Laboratory..tbLabMaster A
--      left outer join Build_File..tbcolabexam B on A.ItemId = B.LabexamId   where RequestStatus
--  = 'X' and B.Form <> 'P' and      datediff(minute,A.Transdate,getdate())<360 and A.Transdate <
--  '2024-05-07T13:05:09' order by transdate desc
--
-- The added-label check, once a run: per request of the 360-minute window, how many item rows
-- it has and a checksum over their items and barcodes. The bound comes from getdate() alone, so
-- IX_tbLabMaster_Transdate serves it (one line, wrapped here):
--
--   select A.RefNum as [RefNum], count(*) as [Items],
--   checksum_agg(checksum(A.ItemId, A.Barcode)) as [Labels] from Laboratory..tbLabMaster A
--   where A.Transdate >= dateadd(minute, datediff(minute, 0, getdate()) - 359, 0)
--   group by A.RefNum
--
-- Write check: after the database refused a write, and before printing again, the station makes
-- the barcode date record's write in a transaction it always rolls back. A database set read-only,
-- a full log, missing rights, or a table lock held past 5 seconds fail it with the server's own
-- text; the lock wait goes back to the default either way. The only trace is one unused RecordId
-- (identity values are not rolled back). One batch:
--
--   SET LOCK_TIMEOUT 5000;
--   BEGIN TRY
--       BEGIN TRANSACTION;
--       EXEC Laboratory..Lab_Barcode_SaveDate '','','','20000101','0','write check';
--       ROLLBACK TRANSACTION;
--       SET LOCK_TIMEOUT -1;
--   END TRY
--   BEGIN CATCH
--       IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
--       SET LOCK_TIMEOUT -1;
--       DECLARE @message nvarchar(2048) = ERROR_MESSAGE();
--       RAISERROR('%s', 16, 1, @message);
--   END CATCH
--
-- After a failure, since an error that ends the batch skips its handler, it sends:
--
--   IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION; SET LOCK_TIMEOUT -1
--
-- and when that fails too the connection is lost: the station logs in again and checks once more.
