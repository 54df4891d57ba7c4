<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
<context>
    <name>BorderlessMainWindow</name>
    <message>
        <source>Morvex (v1.61)  -  liver and vessel annotation workstation</source>
        <translation>Morvex (v1.61)  -  liver and vessel annotation workstation</translation>
    </message>
</context>
<context>
    <name>CHistogramView</name>
    <message>
        <source>HU</source>
        <translation>HU</translation>
    </message>
</context>
<context>
    <name>CImage</name>
    <message>
        <source>Slice %1 / %2</source>
        <translation>Slice %1 / %2</translation>
    </message>
    <message>
        <source>z %1 mm</source>
        <translation>z %1 mm</translation>
    </message>
    <message>
        <source>W %1 / L %2</source>
        <translation>W %1 / L %2</translation>
    </message>
    <message>
        <source>Zoom %1 %</source>
        <translation>확대 %1 %</translation>
    </message>
    <message>
        <source>Right lobe</source>
        <translation>간우엽</translation>
    </message>
    <message>
        <source>Left lobe</source>
        <translation>간좌엽</translation>
    </message>
    <message>
        <source>Vessel (right / left)</source>
        <translation>혈관 (우 / 좌)</translation>
    </message>
    <message>
        <source>Line being drawn</source>
        <translation>그리는 중인 선</translation>
    </message>
    <message>
        <source>Dividing line of this slice</source>
        <translation>이 슬라이스의 분할선</translation>
    </message>
    <message>
        <source>Interpolated dividing line</source>
        <translation>보간된 분할선</translation>
    </message>
    <message>
        <source>area(Whole liver):</source>
        <translation>면적(간 전체):</translation>
    </message>
</context>
<context>
    <name>CPlaneView</name>
    <message>
        <source>Coronal</source>
        <translation>관상면</translation>
    </message>
    <message>
        <source>Sagittal</source>
        <translation>시상면</translation>
    </message>
</context>
<context>
    <name>CSurfaceView</name>
    <message>
        <source>no display</source>
        <translation>디스플레이 없음</translation>
    </message>
    <message>
        <source>no OpenGL</source>
        <translation>OpenGL 없음</translation>
    </message>
    <message>
        <source>OpenGL %1.%2 is older than 3.2</source>
        <translation>OpenGL %1.%2 버전이 3.2보다 낮음</translation>
    </message>
    <message>
        <source>3D view unavailable: %1</source>
        <translation>3D 보기를 사용할 수 없음: %1</translation>
    </message>
    <message>
        <source>Reset view</source>
        <translation>보기 초기화</translation>
    </message>
    <message>
        <source>Front view, head up (R)</source>
        <translation>정면 보기, 머리 위쪽 (R)</translation>
    </message>
    <message>
        <source>Axial slice</source>
        <translation>축상면 슬라이스</translation>
    </message>
    <message>
        <source>Snapshot...</source>
        <translation>스냅샷...</translation>
    </message>
    <message>
        <source>Save 3D snapshot</source>
        <translation>3D 스냅샷 저장</translation>
    </message>
    <message>
        <source>PNG images (*.png)</source>
        <translation>PNG 이미지 (*.png)</translation>
    </message>
    <message>
        <source>Snapshot</source>
        <translation>스냅샷</translation>
    </message>
    <message>
        <source>Could not write %1</source>
        <translation>%1 파일을 쓸 수 없습니다</translation>
    </message>
</context>
<context>
    <name>Morvex</name>
    <message>
        <source>not a slice this program can read</source>
        <translation>not a slice this program can read</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Redo</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Stops the run; the labels stay as they were before it</source>
        <translation>Stops the run; the labels stay as they were before it</translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation>and %1 more</translation>
    </message>
    <message>
        <source>Some files could not be read.</source>
        <translation>Some files could not be read.</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>Vessel segmentation</source>
        <translation>Vessel segmentation</translation>
    </message>
    <message>
        <source>Not enough memory for the vessel segmentation of this series</source>
        <translation>Not enough memory for the vessel segmentation of this series</translation>
    </message>
    <message>
        <source>Vessel segmentation: %1 voxels labelled Vessel (%2 mL) in %3 s</source>
        <translation>Vessel segmentation: %1 voxels labelled Vessel (%2 mL) in %3 s</translation>
    </message>
    <message>
        <source>Please select a label first.</source>
        <translation>Label을 반드시 선택해주세요</translation>
    </message>
    <message>
        <source>(a path longer than 1023 bytes)</source>
        <translation>(a path longer than 1023 bytes)</translation>
    </message>
    <message>
        <source>The labels have unsaved changes. Save them first?</source>
        <translation>The labels have unsaved changes. Save them first?</translation>
    </message>
    <message>
        <source>Save failed: %1</source>
        <translation>Save failed: %1</translation>
    </message>
    <message>
        <source>The files could not be saved:</source>
        <translation>파일을 저장하지 못했습니다:</translation>
    </message>
    <message>
        <source>Saved to %1</source>
        <translation>Saved to %1</translation>
    </message>
    <message>
        <source> and </source>
        <translation> and </translation>
    </message>
    <message>
        <source>Save Directory</source>
        <translation>Save Directory</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Select a file to open...</source>
        <translation>Select a file to open...</translation>
    </message>
    <message>
        <source>Dicom Files (*.dcm)</source>
        <translation>Dicom Files (*.dcm)</translation>
    </message>
    <message>
        <source>Mask Image (*.png *.tiff *.nii *.nii.gz)</source>
        <translation>Mask Image (*.png *.tiff *.nii *.nii.gz)</translation>
    </message>
    <message>
        <source>Fill between slices</source>
        <translation>Fill between slices</translation>
    </message>
    <message>
        <source>Fill between slices (Ctrl+I): the slices between two slices that hold the current label receive the shape interpolated between them, on unlabelled pixels only; shown as a preview until Apply</source>
        <translation>Fill between slices (Ctrl+I): the slices between two slices that hold the current label receive the shape interpolated between them, on unlabelled pixels only; shown as a preview until Apply</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>Writes the previewed fill into the labels as one undo step</source>
        <translation>Writes the previewed fill into the labels as one undo step</translation>
    </message>
    <message>
        <source>Drops the previewed fill; the labels stay as they are</source>
        <translation>Drops the previewed fill; the labels stay as they are</translation>
    </message>
    <message>
        <source>Fill between slices: choose a label first</source>
        <translation>Fill between slices: choose a label first</translation>
    </message>
    <message>
        <source>Fill between slices failed: not enough memory for the series</source>
        <translation>Fill between slices failed: not enough memory for the series</translation>
    </message>
    <message>
        <source>Fill between slices: nothing to fill; %1 needs two slices that hold it with unlabelled slices between them</source>
        <translation>Fill between slices: nothing to fill; %1 needs two slices that hold it with unlabelled slices between them</translation>
    </message>
    <message>
        <source>Fill between slices cancelled; the labels are as they were</source>
        <translation>Fill between slices cancelled; the labels are as they were</translation>
    </message>
    <message>
        <source>Fill between slices: %1 slices filled between %2 key slices</source>
        <translation>Fill between slices: %1 slices filled between %2 key slices</translation>
    </message>
    <message>
        <source>Fill between slices: %1 slices to fill between %2 key slices (Apply or Cancel)</source>
        <translation>Fill between slices: %1 slices to fill between %2 key slices (Apply or Cancel)</translation>
    </message>
    <message>
        <source>; other labels left holes in %1 slices (%2 pixels)</source>
        <translation>; other labels left holes in %1 slices (%2 pixels)</translation>
    </message>
    <message>
        <source>; other labels leave holes in %1 slices (%2 pixels)</source>
        <translation>; other labels leave holes in %1 slices (%2 pixels)</translation>
    </message>
    <message>
        <source>Soft</source>
        <translation>Soft</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>Hard</source>
        <translation>Hard</translation>
    </message>
    <message>
        <source>Not enough memory for LiverSeg on this series</source>
        <translation>Not enough memory for LiverSeg on this series</translation>
    </message>
    <message>
        <source>Please outline the liver first.</source>
        <translation>간 영역을 입력해주세요</translation>
    </message>
    <message>
        <source>LiverSeg: %1 slices labelled</source>
        <translation>LiverSeg: %1 slices labelled</translation>
    </message>
    <message>
        <source> (the closed outline was filled as the seed: %1 pixels)</source>
        <translation> (the closed outline was filled as the seed: %1 pixels)</translation>
    </message>
    <message>
        <source>No liver region was found. The outline you drew was kept.</source>
        <translation>간 영역을 찾지 못했습니다. 입력한 윤곽은 그대로 두었습니다.</translation>
    </message>
    <message>
        <source>%1 running</source>
        <translation>%1 running</translation>
    </message>
    <message>
        <source>%1 cancelled: the labels are as they were</source>
        <translation>%1 cancelled: the labels are as they were</translation>
    </message>
    <message>
        <source>Cancelling...</source>
        <translation>Cancelling...</translation>
    </message>
    <message>
        <source>Labels of this series were kept from a session that did not close (%1 slices). Restore them?</source>
        <translation>Labels of this series were kept from a session that did not close (%1 slices). Restore them?</translation>
    </message>
    <message>
        <source>On</source>
        <translation>On</translation>
    </message>
    <message>
        <source>Open Folder</source>
        <translation>폴더 열기</translation>
    </message>
    <message>
        <source>Open every slice in a folder and its subfolders (Ctrl+Shift+O)</source>
        <translation>폴더와 하위 폴더의 모든 슬라이스 열기 (Ctrl+Shift+O)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>모든 파일 (*)</translation>
    </message>
    <message>
        <source>Select a folder to open...</source>
        <translation>열 폴더 선택...</translation>
    </message>
    <message>
        <source>First slice (instance number) of the slice range that Fill between slices works on</source>
        <translation>슬라이스 사이 채우기가 적용되는 범위의 첫 슬라이스 (Instance Number)</translation>
    </message>
    <message>
        <source>Last slice (instance number) of the slice range that Fill between slices works on</source>
        <translation>슬라이스 사이 채우기가 적용되는 범위의 마지막 슬라이스 (Instance Number)</translation>
    </message>
    <message>
        <source>Lowest intensity (HU) selected as vessel by the vessel threshold</source>
        <translation>혈관 임계값으로 선택할 최저 밝기 (HU)</translation>
    </message>
    <message>
        <source>Highest intensity (HU) selected as vessel by the vessel threshold</source>
        <translation>혈관 임계값으로 선택할 최고 밝기 (HU)</translation>
    </message>
    <message>
        <source>Vessel threshold: On selects the liver pixels in the range above; Apply makes them vessel</source>
        <translation>혈관 임계값: On은 위 범위의 간 픽셀을 선택하고, Apply는 혈관으로 지정합니다</translation>
    </message>
    <message>
        <source>Display window preset</source>
        <translation>표시 윈도우 프리셋</translation>
    </message>
    <message>
        <source>Window level (centre of the displayed intensities, HU)</source>
        <translation>윈도우 레벨 (표시 밝기의 중심, HU)</translation>
    </message>
    <message>
        <source>Window width (span of the displayed intensities, HU)</source>
        <translation>윈도우 폭 (표시 밝기의 범위, HU)</translation>
    </message>
    <message>
        <source>Brush and eraser diameter in screen pixels (keys [ and ])</source>
        <translation>브러시와 지우개의 지름, 화면 픽셀 ([ 와 ] 키)</translation>
    </message>
    <message>
        <source>Cut: draw a line across a region to cut it; right click removes a part (key C)</source>
        <translation>Cut: 영역을 가로지르는 선으로 자르기, 오른쪽 클릭은 조각 삭제 (C 키)</translation>
    </message>
    <message>
        <source>Eraser: paint to remove the current label (key E)</source>
        <translation>Eraser: 칠해서 현재 Label 지우기 (E 키)</translation>
    </message>
    <message>
        <source>Brush: paint the current label (key B)</source>
        <translation>Brush: 현재 Label 칠하기 (B 키)</translation>
    </message>
    <message>
        <source>Add: draw a closed line to add its inside to a region (key A)</source>
        <translation>Add: 닫힌 선을 그려 안쪽을 영역에 추가 (A 키)</translation>
    </message>
    <message>
        <source>Select: click to grow a selection from the pixel; Ctrl adds to it (key S)</source>
        <translation>Select: 클릭한 픽셀에서 선택 영역 확장, Ctrl은 추가 (S 키)</translation>
    </message>
    <message>
        <source>ROI: drag a rectangle on the image; tools then work only inside it (click again to clear)</source>
        <translation>ROI: 영상 위에 사각형을 드래그하면 도구가 그 안에서만 동작 (다시 누르면 해제)</translation>
    </message>
    <message>
        <source>Live wire: click points along an edge; the path follows the edge (key L, Backspace drops a point)</source>
        <translation>Live wire: 경계를 따라 점을 클릭하면 경로가 경계를 따라감 (L 키, Backspace는 점 삭제)</translation>
    </message>
    <message>
        <source>Liver tools work on the shown slice only</source>
        <translation>간 도구를 현재 슬라이스에만 적용</translation>
    </message>
    <message>
        <source>Liver tools work on the whole series</source>
        <translation>간 도구를 시리즈 전체에 적용</translation>
    </message>
    <message>
        <source>Split the liver into left and right on this slice: draw the dividing line</source>
        <translation>이 슬라이스에서 간을 좌우로 분할: 분할선을 그리세요</translation>
    </message>
    <message>
        <source>Split the liver into left and right through the series: draw the dividing line</source>
        <translation>시리즈 전체에서 간을 좌우로 분할: 분할선을 그리세요</translation>
    </message>
    <message>
        <source>Split the liver on several slices; the slices between are interpolated</source>
        <translation>여러 슬라이스에서 간 분할, 사이 슬라이스는 보간</translation>
    </message>
    <message>
        <source>LiverSeg: segment the liver through the series from the outline drawn on this slice</source>
        <translation>LiverSeg: 이 슬라이스에 그린 윤곽에서 시리즈 전체의 간 분할</translation>
    </message>
    <message>
        <source>Softer liver segmentation</source>
        <translation>더 약한 간 분할</translation>
    </message>
    <message>
        <source>Liver segmentation strength (Soft, Default, Hard)</source>
        <translation>간 분할 강도 (Soft, Default, Hard)</translation>
    </message>
    <message>
        <source>Harder liver segmentation</source>
        <translation>더 강한 간 분할</translation>
    </message>
    <message>
        <source>Intensity tolerance of the initial vessel seed pixels (0 to 1)</source>
        <translation>초기 혈관 Seed 픽셀의 밝기 허용치 (0 ~ 1)</translation>
    </message>
    <message>
        <source>Intensity tolerance when the vessels grow from the seeds (0 to 1)</source>
        <translation>Seed에서 혈관을 확장할 때의 밝기 허용치 (0 ~ 1)</translation>
    </message>
    <message>
        <source>Pixels by which the seed region is shrunk before growing</source>
        <translation>확장 전에 Seed 영역을 축소할 픽셀 수</translation>
    </message>
    <message>
        <source>Vessel: grow the vessels inside the liver from the selected seeds</source>
        <translation>Vessel: 선택한 Seed에서 간 안의 혈관 확장</translation>
    </message>
    <message>
        <source>Set low and high to the liver&apos;s dominant intensity range</source>
        <translation>low와 high를 간의 주요 밝기 범위로 설정</translation>
    </message>
    <message>
        <source>Low intensity (HU) of the analysis interval</source>
        <translation>분석 구간의 낮은 밝기 (HU)</translation>
    </message>
    <message>
        <source>High intensity (HU) of the analysis interval</source>
        <translation>분석 구간의 높은 밝기 (HU)</translation>
    </message>
    <message>
        <source>Analyse the whole liver</source>
        <translation>간 전체 분석</translation>
    </message>
    <message>
        <source>Analyse the right lobe</source>
        <translation>간우엽 분석</translation>
    </message>
    <message>
        <source>Analyse the left lobe</source>
        <translation>간좌엽 분석</translation>
    </message>
    <message>
        <source>Select liver pixels below low</source>
        <translation>low 미만의 간 픽셀 선택</translation>
    </message>
    <message>
        <source>Select liver pixels from low to high</source>
        <translation>low~high 사이의 간 픽셀 선택</translation>
    </message>
    <message>
        <source>Select liver pixels above high</source>
        <translation>high 초과의 간 픽셀 선택</translation>
    </message>
    <message>
        <source>Save the histograms of the whole series</source>
        <translation>시리즈 전체의 히스토그램 저장</translation>
    </message>
    <message>
        <source>Save the histogram of the shown slice</source>
        <translation>현재 슬라이스의 히스토그램 저장</translation>
    </message>
    <message>
        <source>Opacity of the label colours over the image (keys 0-9 set 0 to 90 %)</source>
        <translation>영상 위 Label 색의 불투명도 (0-9 키는 0 ~ 90 %)</translation>
    </message>
    <message>
        <source>Label layers: click a label to make it the current one; tick it to show or hide it</source>
        <translation>Label 레이어: 클릭하면 현재 Label, 체크로 표시 / 숨김</translation>
    </message>
    <message>
        <source>Apply: turn the selection into the current label</source>
        <translation>Apply: 선택 영역을 현재 Label로 지정</translation>
    </message>
    <message>
        <source>Delete: remove the selected region from the labels</source>
        <translation>Delete: 선택한 영역을 Label에서 삭제</translation>
    </message>
    <message>
        <source>DeleteAll: remove every label of the shown slice</source>
        <translation>DeleteAll: 현재 슬라이스의 모든 Label 삭제</translation>
    </message>
    <message>
        <source>Opened slices by patient and series; double click (or arrow keys) shows a slice</source>
        <translation>환자와 시리즈별로 연 슬라이스, 더블 클릭 (또는 화살표 키)으로 표시</translation>
    </message>
    <message>
        <source>Open slice files (Ctrl+O)</source>
        <translation>슬라이스 파일 열기 (Ctrl+O)</translation>
    </message>
    <message>
        <source>Load label masks onto the opened slices</source>
        <translation>연 슬라이스에 Label 마스크 불러오기</translation>
    </message>
    <message>
        <source>Save the labels, statistics and report (Ctrl+S)</source>
        <translation>Label, 통계, 보고서 저장 (Ctrl+S)</translation>
    </message>
    <message>
        <source>Save the labels of every series</source>
        <translation>모든 시리즈의 Label 저장</translation>
    </message>
    <message>
        <source>Undo (Ctrl+Z; redo Ctrl+Y)</source>
        <translation>실행 취소 (Ctrl+Z, 다시 실행 Ctrl+Y)</translation>
    </message>
    <message>
        <source>Show or hide the readout and the corner information (key I)</source>
        <translation>측정값과 모서리 정보 표시 / 숨김 (I 키)</translation>
    </message>
    <message>
        <source>Adjust the display window by dragging on the image</source>
        <translation>영상 위를 드래그하여 표시 윈도우 조절</translation>
    </message>
    <message>
        <source>Archive</source>
        <translation>아카이브</translation>
    </message>
    <message>
        <source>Query and retrieve...</source>
        <translation>조회 및 가져오기...</translation>
    </message>
    <message>
        <source>Send to archive...</source>
        <translation>아카이브로 전송...</translation>
    </message>
    <message>
        <source>Archive nodes...</source>
        <translation>아카이브 노드...</translation>
    </message>
    <message>
        <source>1 + 2</source>
        <translation>1 + 2</translation>
    </message>
    <message>
        <source>Axial slice with coronal and sagittal planes (V)</source>
        <translation>축상면 슬라이스와 관상면 / 시상면 (V)</translation>
    </message>
    <message>
        <source>This tool works on the axial slice only; Shift-click moves the planes.</source>
        <translation>이 도구는 축상면 슬라이스에서만 동작합니다. Shift-클릭으로 단면을 이동합니다.</translation>
    </message>
    <message>
        <source>Resection plans</source>
        <translation>절제 계획</translation>
    </message>
    <message>
        <source>Plan</source>
        <translation>계획</translation>
    </message>
    <message>
        <source>Plan %1</source>
        <translation>계획 %1</translation>
    </message>
    <message>
        <source>Draw key lines with Divide (interpolation) first; the plan takes them without dividing the liver.</source>
        <translation>먼저 분할(보간) 도구로 기준선을 그리세요. 계획은 간을 분할하지 않고 기준선만 가져옵니다.</translation>
    </message>
    <message>
        <source>Remnant %1 % (%2)</source>
        <translation>잔존 간 %1 % (%2)</translation>
    </message>
    <message>
        <source>PDF report</source>
        <translation>PDF 보고서</translation>
    </message>
    <message>
        <source>PDF (*.pdf)</source>
        <translation>PDF (*.pdf)</translation>
    </message>
    <message>
        <source>Report</source>
        <translation>보고서</translation>
    </message>
    <message>
        <source>The resection plans were not saved: %1</source>
        <translation>절제 계획을 저장하지 못했습니다: %1</translation>
    </message>
    <message>
        <source>The resection plans were not loaded: %1</source>
        <translation>절제 계획을 불러오지 못했습니다: %1</translation>
    </message>
    <message>
        <source>Tumour: segment the liver first; the lesion is sought inside it</source>
        <translation>종양: 먼저 간을 분할하세요. 병변은 간 안에서 찾습니다</translation>
    </message>
    <message>
        <source>Tumour: the click lies outside the liver</source>
        <translation>종양: 클릭한 위치가 간 밖입니다</translation>
    </message>
    <message>
        <source>Tumour: the click&apos;s intensity is that of the liver; click inside a lesion</source>
        <translation>종양: 클릭한 위치의 밝기가 간 실질과 같습니다. 병변 안을 클릭하세요</translation>
    </message>
    <message>
        <source>Tumour: the region ran beyond any lesion&apos;s size; nothing was labelled</source>
        <translation>종양: 영역이 병변 크기를 넘어 확장되어 Label을 지정하지 않았습니다</translation>
    </message>
    <message>
        <source>Tumour: no lesion found at the click</source>
        <translation>종양: 클릭한 위치에서 병변을 찾지 못했습니다</translation>
    </message>
    <message>
        <source>Tumour</source>
        <translation>종양</translation>
    </message>
    <message>
        <source>Not enough memory for the tumour on this series</source>
        <translation>이 시리즈의 종양 분할에 필요한 메모리가 부족합니다</translation>
    </message>
    <message>
        <source>Tumour: %1 mL on %2 slices</source>
        <translation>종양: 슬라이스 %2장에서 %1 mL</translation>
    </message>
    <message>
        <source>3D View</source>
        <translation>3D 보기</translation>
    </message>
    <message>
        <source>3D</source>
        <translation>3D</translation>
    </message>
    <message>
        <source>Show the 3D view of the labels (the fourth pane with three planes, else a panel)</source>
        <translation>Label의 3D 보기 표시 (세 단면 화면에서는 네 번째 창, 그 외에는 패널)</translation>
    </message>
    <message>
        <source>Checked: shown in the 3D view</source>
        <translation>체크: 3D 보기에 표시</translation>
    </message>
    <message>
        <source>3D view</source>
        <translation>3D 보기</translation>
    </message>
</context>
<context>
    <name>MorvexClass</name>
    <message>
        <source>Morvex</source>
        <translation>Morvex</translation>
    </message>
    <message>
        <source>DICOM</source>
        <translation>DICOM</translation>
    </message>
    <message>
        <source>DICOM info</source>
        <translation>DICOM info</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Value</translation>
    </message>
    <message>
        <source> SliceNo. </source>
        <translation> SliceNo. </translation>
    </message>
    <message>
        <source>~</source>
        <translation>~</translation>
    </message>
    <message>
        <source>Vessel</source>
        <translation>Vessel</translation>
    </message>
    <message>
        <source>On</source>
        <translation>On</translation>
    </message>
    <message>
        <source>Histogram</source>
        <translation>Histogram</translation>
    </message>
    <message>
        <source>DCM</source>
        <translation>DCM</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>Full Dynamic</source>
        <translation>Full Dynamic</translation>
    </message>
    <message>
        <source>MR PDFF (WL: 0, WW: 300)</source>
        <translation>MR PDFF (WL: 0, WW: 300)</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>WL</source>
        <translation>WL</translation>
    </message>
    <message>
        <source>WW</source>
        <translation>WW</translation>
    </message>
    <message>
        <source>Tool</source>
        <translation>Tool</translation>
    </message>
    <message>
        <source>Brush Size</source>
        <translation>Brush Size</translation>
    </message>
    <message>
        <source>(C)ut</source>
        <translation>(C)ut</translation>
    </message>
    <message>
        <source>(E)raser</source>
        <translation>(E)raser</translation>
    </message>
    <message>
        <source>(B)rush</source>
        <translation>(B)rush</translation>
    </message>
    <message>
        <source>(A)dd</source>
        <translation>(A)dd</translation>
    </message>
    <message>
        <source>(S)elect</source>
        <translation>(S)elect</translation>
    </message>
    <message>
        <source>ROI</source>
        <translation>ROI</translation>
    </message>
    <message>
        <source>(L)ivewire</source>
        <translation>(L)ivewire</translation>
    </message>
    <message>
        <source>Liver</source>
        <translation>Liver</translation>
    </message>
    <message>
        <source>2D</source>
        <translation>2D</translation>
    </message>
    <message>
        <source>3D</source>
        <translation>3D</translation>
    </message>
    <message>
        <source>2D Split</source>
        <translation>2D Split</translation>
    </message>
    <message>
        <source>3D Split</source>
        <translation>3D Split</translation>
    </message>
    <message>
        <source>MultiSplit</source>
        <translation>MultiSplit</translation>
    </message>
    <message>
        <source>LiverSeg</source>
        <translation>LiverSeg</translation>
    </message>
    <message>
        <source>&lt;</source>
        <translation>&lt;</translation>
    </message>
    <message>
        <source>&gt;</source>
        <translation>&gt;</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>Initial seed tolerance</source>
        <translation>초기 Seed Pixel 허용</translation>
    </message>
    <message>
        <source>Growth tolerance</source>
        <translation>확장 Seed Pixel 허용</translation>
    </message>
    <message>
        <source>Seed shrink range</source>
        <translation>Seed 영역 축소 범위</translation>
    </message>
    <message>
        <source>Analysis</source>
        <translation>Analysis</translation>
    </message>
    <message>
        <source>low</source>
        <translation>low</translation>
    </message>
    <message>
        <source>high</source>
        <translation>high</translation>
    </message>
    <message>
        <source>Whole</source>
        <translation>전체</translation>
    </message>
    <message>
        <source>Right lobe</source>
        <translation>간우엽</translation>
    </message>
    <message>
        <source>Left lobe</source>
        <translation>간좌엽</translation>
    </message>
    <message>
        <source>min</source>
        <translation>min</translation>
    </message>
    <message>
        <source>Q1</source>
        <translation>Q1</translation>
    </message>
    <message>
        <source>median</source>
        <translation>median</translation>
    </message>
    <message>
        <source>Q3</source>
        <translation>Q3</translation>
    </message>
    <message>
        <source>max</source>
        <translation>max</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Average</source>
        <translation>Average</translation>
    </message>
    <message>
        <source>Std.</source>
        <translation>Std.</translation>
    </message>
    <message>
        <source>PixelCnt</source>
        <translation>PixelCnt</translation>
    </message>
    <message>
        <source>&lt; low</source>
        <translation>&lt; low</translation>
    </message>
    <message>
        <source>low~high</source>
        <translation>low~high</translation>
    </message>
    <message>
        <source>&gt;high</source>
        <translation>&gt;high</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:8pt;&quot;&gt;Save(Group)&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:8pt;&quot;&gt;Save(Group)&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Label Image</source>
        <translation>Label Image</translation>
    </message>
    <message>
        <source>Opacity</source>
        <translation>Opacity</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>DeleteAll</source>
        <translation>DeleteAll</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>&amp;Open</translation>
    </message>
    <message>
        <source>open file</source>
        <translation>open file</translation>
    </message>
    <message>
        <source>&amp;Load Mask Image</source>
        <translation>&amp;Load Mask Image</translation>
    </message>
    <message>
        <source>Load Mask Image</source>
        <translation>Load Mask Image</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>save file</source>
        <translation>save file</translation>
    </message>
    <message>
        <source>%Save All</source>
        <translation>%Save All</translation>
    </message>
    <message>
        <source>save all file</source>
        <translation>save all file</translation>
    </message>
    <message>
        <source>Ctrl+Shift+S</source>
        <translation>Ctrl+Shift+S</translation>
    </message>
    <message>
        <source>&amp;Undo</source>
        <translation>&amp;Undo</translation>
    </message>
    <message>
        <source>undo</source>
        <translation>undo</translation>
    </message>
    <message>
        <source>Display Annotation</source>
        <translation>Display Annotation</translation>
    </message>
    <message>
        <source>WL/WW</source>
        <translation>WL/WW</translation>
    </message>
    <message>
        <source>Adjust Intensity</source>
        <translation>Adjust Intensity</translation>
    </message>
</context>
<context>
    <name>PdfReport</name>
    <message>
        <source>Warning: the remnant is %1 % of the functional liver, below the threshold of %2 %.</source>
        <translation>경고: 잔존 간이 기능적 간의 %1 %로 기준치 %2 %보다 작습니다.</translation>
    </message>
    <message>
        <source>Warning: tumour %1 lies %2 from the cut, closer than the margin of %3.</source>
        <translation>경고: 종양 %1과 절제면의 거리가 %2로 절제연 기준 %3보다 가깝습니다.</translation>
    </message>
    <message>
        <source>Total liver volume: %1</source>
        <translation>전체 간 용적: %1</translation>
    </message>
    <message>
        <source>Tumour volume: %1</source>
        <translation>종양 용적: %1</translation>
    </message>
    <message>
        <source>Functional volume: %1</source>
        <translation>기능적 간 용적: %1</translation>
    </message>
    <message>
        <source>The plan does not cut the liver yet.</source>
        <translation>절제면이 아직 간을 지나지 않습니다.</translation>
    </message>
    <message>
        <source>Choose the side to remove.</source>
        <translation>절제할 쪽을 선택하세요.</translation>
    </message>
    <message>
        <source>Resected volume: %1</source>
        <translation>절제 용적: %1</translation>
    </message>
    <message>
        <source>Remnant volume: %1</source>
        <translation>잔존 간 용적: %1</translation>
    </message>
    <message>
        <source>Functional remnant: %1 (%2 % of functional)</source>
        <translation>기능적 잔존 간: %1 (기능적 간의 %2 %)</translation>
    </message>
    <message>
        <source>wholly resected</source>
        <translation>완전 절제</translation>
    </message>
    <message>
        <source>not wholly resected</source>
        <translation>불완전 절제</translation>
    </message>
    <message>
        <source>margin %1</source>
        <translation>절제연 %1</translation>
    </message>
    <message>
        <source>the cut misses the liver</source>
        <translation>절제면이 간을 지나지 않음</translation>
    </message>
    <message>
        <source>Tumour %1: %2, %3, %4 (slices %5-%6)</source>
        <translation>종양 %1: %2, %3, %4 (슬라이스 %5-%6)</translation>
    </message>
    <message>
        <source>Axial, slice %1 of %2</source>
        <translation>축상면, 슬라이스 %1 / %2</translation>
    </message>
    <message>
        <source>; the cut in yellow</source>
        <translation>; 절제면은 노란색</translation>
    </message>
    <message>
        <source>%1: cannot be written (%2)</source>
        <translation>%1: 쓸 수 없습니다 (%2)</translation>
    </message>
    <message>
        <source>Liver volume report</source>
        <translation>간 용적 보고서</translation>
    </message>
    <message>
        <source>Patient: %1   ID: %2</source>
        <translation>환자: %1   ID: %2</translation>
    </message>
    <message>
        <source>Series date: %1  %2</source>
        <translation>시리즈 날짜: %1  %2</translation>
    </message>
    <message>
        <source>Report date: %1</source>
        <translation>보고서 작성일: %1</translation>
    </message>
    <message>
        <source>Software: %1</source>
        <translation>소프트웨어: %1</translation>
    </message>
    <message>
        <source>Volumes</source>
        <translation>용적</translation>
    </message>
    <message>
        <source>Liver: %1</source>
        <translation>간: %1</translation>
    </message>
    <message>
        <source>Liver without vessels: %1</source>
        <translation>혈관 제외 간: %1</translation>
    </message>
    <message>
        <source>Right lobe: %1</source>
        <translation>간우엽: %1</translation>
    </message>
    <message>
        <source>Right lobe without vessels: %1</source>
        <translation>혈관 제외 간우엽: %1</translation>
    </message>
    <message>
        <source>Left lobe: %1</source>
        <translation>간좌엽: %1</translation>
    </message>
    <message>
        <source>Left lobe without vessels: %1</source>
        <translation>혈관 제외 간좌엽: %1</translation>
    </message>
    <message>
        <source>Resection plan: %1</source>
        <translation>절제 계획: %1</translation>
    </message>
    <message>
        <source>Thresholds: remnant %1 %, margin %2</source>
        <translation>기준: 잔존 간 %1 %, 절제연 %2</translation>
    </message>
    <message>
        <source>No warnings.</source>
        <translation>경고 없음.</translation>
    </message>
    <message>
        <source>Warnings</source>
        <translation>경고</translation>
    </message>
    <message>
        <source>%1: the report could not be drawn</source>
        <translation>%1: 보고서를 생성하지 못했습니다</translation>
    </message>
    <message>
        <source>Coronal plane through the liver&apos;s centre</source>
        <translation>간 중심을 지나는 관상면</translation>
    </message>
</context>
<context>
    <name>PlanPanel</name>
    <message>
        <source>New plan</source>
        <translation>새 계획</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>삭제</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>실행 취소</translation>
    </message>
    <message>
        <source>Take key lines from the division tool</source>
        <translation>분할 도구에서 기준선 가져오기</translation>
    </message>
    <message>
        <source>Draw and edit key lines with Divide (interpolation), then take them into the plan; the labels are not divided.</source>
        <translation>분할(보간) 도구로 기준선을 그리고 편집한 뒤 계획으로 가져오세요. Label은 분할되지 않습니다.</translation>
    </message>
    <message>
        <source>Choose side to remove</source>
        <translation>절제할 쪽 선택</translation>
    </message>
    <message>
        <source>Then click the part of the liver to remove.</source>
        <translation>그런 다음 절제할 간 부분을 클릭하세요.</translation>
    </message>
    <message>
        <source>Normal liver (20 %)</source>
        <translation>정상 간 (20 %)</translation>
    </message>
    <message>
        <source>After chemotherapy (30 %)</source>
        <translation>항암치료 후 (30 %)</translation>
    </message>
    <message>
        <source>Cirrhosis (40 %)</source>
        <translation>간경변 (40 %)</translation>
    </message>
    <message>
        <source>Name and ID in the report</source>
        <translation>보고서에 이름과 ID 표시</translation>
    </message>
    <message>
        <source>PDF report...</source>
        <translation>PDF 보고서...</translation>
    </message>
    <message>
        <source>Liver</source>
        <translation>간 상태</translation>
    </message>
    <message>
        <source>Smallest remnant</source>
        <translation>최소 잔존 간</translation>
    </message>
    <message>
        <source>Smallest margin</source>
        <translation>최소 절제연</translation>
    </message>
    <message>
        <source>Draw a cut plane</source>
        <translation>절제면 그리기</translation>
    </message>
    <message>
        <source>Drag a line in the coronal or sagittal view: the plan cuts along it, across that view.</source>
        <translation>관상면 또는 시상면 영상에서 선을 끌어 그리면, 그 선을 지나 영상에 수직인 면으로 절제합니다.</translation>
    </message>
</context>
<context>
    <name>morvex::ArchiveNodesDialog</name>
    <message>
        <source>Archive nodes</source>
        <translation>아카이브 노드</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>추가</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>제거</translation>
    </message>
    <message>
        <source>Test</source>
        <translation>테스트</translation>
    </message>
    <message>
        <source>Checks within 10 s whether the node answers (C-ECHO)</source>
        <translation>노드가 10초 안에 응답하는지 확인 (C-ECHO)</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>이름</translation>
    </message>
    <message>
        <source>AE title</source>
        <translation>AE title</translation>
    </message>
    <message>
        <source>Host</source>
        <translation>호스트</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>포트</translation>
    </message>
    <message>
        <source>Port on which this workstation receives the images of a C-MOVE</source>
        <translation>이 워크스테이션이 C-MOVE 영상을 수신하는 포트</translation>
    </message>
    <message>
        <source>This workstation</source>
        <translation>이 워크스테이션</translation>
    </message>
    <message>
        <source>Receive port</source>
        <translation>수신 포트</translation>
    </message>
    <message>
        <source>New node</source>
        <translation>새 노드</translation>
    </message>
    <message>
        <source>Testing %1 ...</source>
        <translation>%1 테스트 중 ...</translation>
    </message>
    <message>
        <source>%1 answers.</source>
        <translation>%1: 응답 있음.</translation>
    </message>
    <message>
        <source>%1 does not answer: %2</source>
        <translation>%1: 응답 없음: %2</translation>
    </message>
    <message>
        <source>Not saved: %1</source>
        <translation>저장되지 않음: %1</translation>
    </message>
</context>
<context>
    <name>morvex::ArchiveQueryDialog</name>
    <message>
        <source>Archive: query and retrieve</source>
        <translation>아카이브: 조회 및 가져오기</translation>
    </message>
    <message>
        <source>e.g. DOE^J*</source>
        <translation>예: DOE^J*</translation>
    </message>
    <message>
        <source>YYYYMMDD</source>
        <translation>YYYYMMDD</translation>
    </message>
    <message>
        <source>e.g. CT</source>
        <translation>예: CT</translation>
    </message>
    <message>
        <source>to</source>
        <translation>~</translation>
    </message>
    <message>
        <source>Node</source>
        <translation>노드</translation>
    </message>
    <message>
        <source>Patient name</source>
        <translation>환자 이름</translation>
    </message>
    <message>
        <source>Patient ID</source>
        <translation>환자 ID</translation>
    </message>
    <message>
        <source>Study date</source>
        <translation>검사일</translation>
    </message>
    <message>
        <source>Modality</source>
        <translation>모달리티</translation>
    </message>
    <message>
        <source>Accession number</source>
        <translation>Accession No.</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>검색</translation>
    </message>
    <message>
        <source>Patient / series</source>
        <translation>환자 / 시리즈</translation>
    </message>
    <message>
        <source>ID / modality</source>
        <translation>ID / 모달리티</translation>
    </message>
    <message>
        <source>Date / images</source>
        <translation>날짜 / 영상 수</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>설명</translation>
    </message>
    <message>
        <source>Retrieve by C-MOVE (for nodes without C-GET)</source>
        <translation>C-MOVE로 가져오기 (C-GET을 지원하지 않는 노드용)</translation>
    </message>
    <message>
        <source>Retrieve and open</source>
        <translation>가져와서 열기</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>취소</translation>
    </message>
    <message>
        <source>No archive node is set up: add one under Archive nodes.</source>
        <translation>설정된 아카이브 노드가 없습니다: 아카이브 노드에서 추가하세요.</translation>
    </message>
    <message>
        <source>Dates are written YYYYMMDD, e.g. 20260131.</source>
        <translation>날짜는 YYYYMMDD 형식으로 입력합니다 (예: 20260131).</translation>
    </message>
    <message>
        <source>Searching %1 ...</source>
        <translation>%1 검색 중 ...</translation>
    </message>
    <message numerus="yes">
        <source>%n studies found</source>
        <translation>
            <numerusform>검사 %n건 검색됨</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, %n series</source>
        <translation>
            <numerusform>, 시리즈 %n개</numerusform>
        </translation>
    </message>
    <message>
        <source>?</source>
        <translation>?</translation>
    </message>
    <message>
        <source>Series %1</source>
        <translation>시리즈 %1</translation>
    </message>
    <message>
        <source>Choose a series to retrieve.</source>
        <translation>가져올 시리즈를 선택하세요.</translation>
    </message>
    <message>
        <source>Retrieving %1 ...</source>
        <translation>%1 가져오는 중 ...</translation>
    </message>
    <message numerus="yes">
        <source>%n images retrieved</source>
        <translation>
            <numerusform>영상 %n장 가져옴</numerusform>
        </translation>
    </message>
    <message>
        <source>Cancelling ...</source>
        <translation>취소 중 ...</translation>
    </message>
    <message>
        <source>Cancelled; nothing was kept.</source>
        <translation>취소됨. 가져온 영상은 남기지 않았습니다.</translation>
    </message>
</context>
<context>
    <name>morvex::ArchiveStoreDialog</name>
    <message>
        <source>Send to archive</source>
        <translation>아카이브로 전송</translation>
    </message>
    <message>
        <source>Add files...</source>
        <translation>파일 추가...</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>전송</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>취소</translation>
    </message>
    <message>
        <source>No archive node is set up: add one under Archive nodes.</source>
        <translation>설정된 아카이브 노드가 없습니다: 아카이브 노드에서 추가하세요.</translation>
    </message>
    <message>
        <source>DICOM files to send</source>
        <translation>전송할 DICOM 파일</translation>
    </message>
    <message>
        <source>DICOM files and PDF reports (*.dcm *.pdf);;All files (*)</source>
        <translation>DICOM 파일 및 PDF 보고서 (*.dcm *.pdf);;모든 파일 (*)</translation>
    </message>
    <message>
        <source>Not added: %1</source>
        <translation>추가되지 않음: %1</translation>
    </message>
    <message numerus="yes">
        <source>Sending %n files ...</source>
        <translation>
            <numerusform>파일 %n개 전송 중 ...</numerusform>
        </translation>
    </message>
    <message>
        <source>not sent</source>
        <translation>전송 안 됨</translation>
    </message>
    <message>
        <source>Every file was stored.</source>
        <translation>모든 파일이 저장되었습니다.</translation>
    </message>
</context>
<context>
    <name>morvex::Core</name>
    <message>
        <source>The mask image and the loaded image differ in width or height.</source>
        <translation>load된 영상과 maskImage의 가로/세로 크기가 다름</translation>
    </message>
    <message>
        <source>A mask whose name fits several slices was not loaded.</source>
        <translation>A mask whose name fits several slices was not loaded.</translation>
    </message>
    <message>
        <source>This file extension cannot be processed.</source>
        <translation>처리할 수 없는 파일 확장자입니다.</translation>
    </message>
    <message>
        <source>Image load failed - the DICOM header has a problem.</source>
        <translation>Image load 실패 - DICOM Header에 문제가 있습니다.</translation>
    </message>
    <message>
        <source>Image load failed: the file cannot be read as a slice.</source>
        <translation>Image load failed: the file cannot be read as a slice.</translation>
    </message>
</context>
</TS>
